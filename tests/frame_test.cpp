// The plug-in frame through its entry point against the reference host: the
// keyword protocol, the header check, the driver's keywords, messages, call
// order and result, base names, and the two jumps to the import trap.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "frame.h"
#include "support/plugin_calls.h"
#include "varnex/host.h"
#include "support/samples.h"
#include "support/scratch.h"

using namespace vxtest;

namespace {

constexpr char kAmcNote[] =
    "Cannot import AMC data without a proper skeleton. Please select only the ASF file; the corresponding AMC file "
    "with the same filename will be imported automatically.\n";
// As a file's contents: make a folder of that name instead.
constexpr char kFolder[] = "(folder)";

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vxhost::ResetHost();
    vxhost::SetCallLogEnabled(true);
    importOptions = {};
  }
  void TearDown() override { EXPECT_TRUE(vxhost::HostErrors().empty()) << vxhost::HostErrors().front(); }

  // Writes the file, or makes a folder for kFolder; nothing for null.
  void MakeFile(const char* name, const char* contents) {
    if (contents == kFolder) std::filesystem::create_directory(scratch.Path(name));
    else if (contents != nullptr) scratch.Write(name, contents);
  }

  ScratchDir scratch;
};

bool LogHas(const std::string& line) {
  for (const std::string& entry : vxhost::CallLog()) {
    if (entry == line) return true;
  }
  return false;
}

// -- Keyword protocol

TEST_F(FrameTest, KeywordListsEndAndTheLastAnswerWins) {
  std::string good = scratch.Write("good.bvh", "HIERARCHY\n");
  std::string missing = scratch.Path("missing.bvh");
  struct Case {
    const char* name;
    std::vector<Item> items;
    int32_t expected;
  };
  const Case cases[] = {
      {"empty list writes 0", {}, 0},
      {"empty string ends the list", {{"validate_header", Text(good)}, {"", nullptr}, {"validate_header", Text(missing)}}, 1},
      {"null ends the list", {{"validate_header", Text(good)}, {nullptr, nullptr}, {"validate_header", Text(missing)}}, 1},
      {"later answer wins", {{"validate_header", Text(missing)}, {"validate_header", Text(good)}}, 1},
      {"earlier answer loses", {{"validate_header", Text(good)}, {"validate_header", Text(missing)}}, -1},
      {"about box keeps the answer", {{"validate_header", Text(good)}, {"show_about_dialog", nullptr}}, 1},
      {"unknown and ignored keywords", {{"validate_header", Text(missing)}, {"Validate_header", Text(good)},
                                        {"parent_hInstance", nullptr}, {"shutdown", nullptr},
                                        {"new_instance", nullptr}, {"destroy_instance", nullptr},
                                        {"bogus", nullptr}}, -1},
      {"keywords that differ in case or by a blank", {{"Initialize", Text(scratch.Dir())},
                                                     {"initialize ", Text(scratch.Dir())},
                                                     {"execute_geometry_converter ", nullptr}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CallPlugin(c.items), c.expected);
  }
  int32_t result = 77;
  Varnex_Plugin_EntryPoint(nullptr, nullptr, &result, nullptr);
  EXPECT_EQ(result, 0) << "a null list";
  // Nothing started, imported or spoke.
  EXPECT_TRUE(vxhost::Messages().empty());
  EXPECT_EQ(importOptions.defaultsApplied, 0);
}

TEST_F(FrameTest, KeywordsAfterTheConverterBelongToTheDriver) {
  std::string good = scratch.Write("good.bvh", "HIERARCHY\n");
  EXPECT_EQ(CallPlugin({{"execute_geometry_converter", nullptr}, {"validate_header_2", Text(good)}}), 1);
  // Only the header check's own call: no host preparation, no bracket.
  EXPECT_EQ(vxhost::CallLog(), std::vector<std::string>{R"log(Import_IO_String_To_Lower("bvh", "bvh"))log"});

  // The entry point's own keywords, an empty one and a misspelled one mean
  // nothing to the driver: each is reported and the import goes on.
  std::string motion = scratch.Write("motion.amc", "");
  EXPECT_EQ(CallPlugin({{"execute_geometry_converter", nullptr}, {"validate_header", Text(good)}, {"", nullptr},
                        {"Filename", nullptr}, {"filename", Text(motion)}}),
            0);
  for (const char* keyword : {"validate_header", "", "Filename"}) {
    EXPECT_TRUE(LogHas(R"log(Sg_Report_Error(4, "ERR_GEOM_IMPORT_BAD_TOKEN", "ImportConverter_BiovisionAcclaim()", ")log" +
                       std::string(keyword) + "\")"))
        << keyword;
  }
  EXPECT_NE(vxhost::AllMessageText().find(kAmcNote), std::string::npos);
  EXPECT_EQ(vxhost::GetCounters().initializes, 1);
}

// -- Header check

TEST_F(FrameTest, HeaderCheckAnswersByExtensionAndFirstLine) {
  struct Case {
    const char* file;
    const char* contents;  // null: the file does not exist
    int32_t expected;
  };
  const Case cases[] = {
      {"walk.bvh", "HIERARCHY\nROOT Hips\n", 1},
      {"lower.bvh", "hierarchy\n", 1},
      {"crlf.bvh", "HIERARCHY\r\n", 1},
      {"trailing.bvh", "HIERARCHY and more\n", 1},
      {"noline.bvh", "HIERARCHY", -2},
      {"mixed.bvh", "Hierarchy\n", -2},
      {"blank.bvh", " HIERARCHY\n", -2},
      {"empty.bvh", "", -2},
      {"UPPER.BVH", "HIERARCHY\n", 1},
      {"Mixed.Bvh", "HIERARCHY\n", 1},
      {"empty.asf", "", 1},
      {"nodotasf", "", 1},
      {"junk.amc", "\x01\x02\xff", 1},
      {"notes.txt", "HIERARCHY\n", -2},
      {"missing.bvh", nullptr, -1},
      {"missing.txt", nullptr, -1},
      {"ab", "HIERARCHY\n", -2},
      {"folder.bvh", kFolder, -1},
      {"folder.asf", kFolder, -1},
  };
  WorkingDirectory here(scratch.Dir());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    MakeFile(c.file, c.contents);
    EXPECT_EQ(CallPlugin({{"validate_header", Text(c.file)}}), c.expected);
  }
  std::string longLine = "HIERARCHY" + std::string(400, 'x') + "\n";
  scratch.Write("long.bvh", longLine);
  EXPECT_EQ(CallPlugin({{"validate_header", Text("long.bvh")}}), 1);
  EXPECT_EQ(CallPlugin({{"validate_header", nullptr}}), -1);
  EXPECT_TRUE(vxhost::Messages().empty());
}

// -- Driver keywords

// Defaults come with the first import or initialize, once; then each
// import's keywords change what they name and keep the rest.
TEST_F(FrameTest, DefaultsApplyOnceAndDriverKeywordsSetTheOptions) {
  std::string good = scratch.Write("good.bvh", "HIERARCHY\n");
  CallPlugin({{"show_about_dialog", nullptr}, {"validate_header", Text(good)}});
  EXPECT_EQ(importOptions.distanceThreshold, 0.0f);
  EXPECT_EQ(importOptions.defaultsApplied, 0);

  CallPlugin({{"execute_geometry_converter", nullptr}, {"validate_header_2", Text(good)}});
  EXPECT_FLOAT_EQ(importOptions.distanceThreshold, 0.01f);
  EXPECT_FLOAT_EQ(importOptions.angularThreshold, 0.01f);
  EXPECT_EQ(importOptions.reduceTranslation, 0);
  EXPECT_EQ(importOptions.defaultsApplied, 1);

  CallPlugin({{"execute_geometry_converter", nullptr},
              {"distance_threshold", Text("0.5")},
              {"angular_threshold", Text("not a number")},
              {"ena_trans_kf_reduction", Number(1)},
              {"ena_rot_kf_reduction", Number(0x30002)},
              {"validate_header_2", Text(good)}});
  EXPECT_FLOAT_EQ(importOptions.distanceThreshold, 0.5f);
  EXPECT_FLOAT_EQ(importOptions.angularThreshold, 0.0f);
  EXPECT_EQ(importOptions.reduceTranslation, 1);
  EXPECT_EQ(importOptions.reduceRotation, 2);

  CallPlugin({{"execute_geometry_converter", nullptr},
              {"distance_threshold", Text("1")},
              {"distance_threshold", Text("2.25")},
              {"ena_trans_kf_reduction", Number(0)},
              {"validate_header_2", Text(good)}});
  CallPlugin({{"initialize", Text(scratch.Dir())}});
  CallPlugin({{"execute_geometry_converter", nullptr}, {"validate_header_2", Text(good)}});
  EXPECT_FLOAT_EQ(importOptions.distanceThreshold, 2.25f);
  EXPECT_EQ(importOptions.reduceTranslation, 0);
  EXPECT_EQ(importOptions.reduceRotation, 2);
  EXPECT_EQ(importOptions.defaultsApplied, 1);
}

// -- Driver outcomes

TEST_F(FrameTest, DriverAnswersEachKindOfFile) {
  struct Case {
    const char* file;
    const char* contents;  // null: the file does not exist
    int32_t expected;
    std::string messages;  // text of the plug-in's own messages; catalogue messages aside
  };
  const Case cases[] = {
      {"ab", "HIERARCHY\n", 1, "The filename must have a .bvh, .amc or .asf file extension.\n"},
      {"motion.amc", "anything", 0, kAmcNote},
      {"MOTION.AMC", "", 0, kAmcNote},
      {"WALK.BVH", kWalkBvh, 0, ""},
      {nullptr, nullptr, 1, "No file name was given for the import. Aborting.\n"},
  };
  WorkingDirectory here(scratch.Dir());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file ? c.file : "no file name");
    vxhost::ResetHost();
    importOptions.distanceThreshold = 0;
    // Driver keywords are taken whatever the file.
    const std::vector<Item> distance = {{"distance_threshold", Text("0.2")}};
    if (c.file) {
      MakeFile(c.file, c.contents);
      EXPECT_EQ(Import(c.file, distance), c.expected);
    } else {
      EXPECT_EQ(CallPlugin({{"execute_geometry_converter", nullptr}, distance[0]}), c.expected);
    }
    EXPECT_FLOAT_EQ(importOptions.distanceThreshold, 0.2f);
    std::string own;
    for (const vxhost::Message& message : vxhost::Messages()) {
      if (message.kind != vxhost::MessageKind::Catalogue) own += message.text;
    }
    EXPECT_EQ(own, c.messages);
    vxhost::Counters counters = vxhost::GetCounters();
    EXPECT_EQ(counters.initializes, 1);
    EXPECT_EQ(counters.cleanups, 1);
    EXPECT_EQ(counters.abortCleanups, 0);
  }
}

// A file that cannot be read is reported inside the bracket; the extension
// is checked only after the file opened.
TEST_F(FrameTest, UnreadableOrForeignFilesAreReportedInsideTheBracket) {
  std::string missing = scratch.Path("missing.txt");
  std::string notes = scratch.Write("notes.txt", "");
  auto openFailure = [](const std::string& path) {
    return std::vector<std::string>{"Sg_Report_Error(4, \"ERR_FILE_OPEN_READ\", \"ImportConverter_BiovisionAcclaim()\", "
                                    "\"Biovision/Acclaim\", \"" + path + "\")"};
  };
  // A folder is a file that does not open, whatever the system's fopen says.
  std::string folderBvh = scratch.Path("folder.bvh");
  std::string folderAsf = scratch.Path("folder.asf");
  MakeFile("folder.bvh", kFolder);
  MakeFile("folder.asf", kFolder);
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {missing, openFailure(missing)},
      {folderBvh, openFailure(folderBvh)},
      {folderAsf, openFailure(folderAsf)},
      {notes,
       {"Import_IO_String_To_Lower(\"txt\", \"txt\")",
        "Import_IO_Report_Error(4, \"File must be in BioVision or Acclaim format. Aborting.\\n\")"}},
  };
  for (const auto& [path, report] : cases) {
    SCOPED_TRACE(path);
    vxhost::ResetHost();
    vxhost::SetCallLogEnabled(true);
    EXPECT_EQ(Import(path), 1);
    std::vector<std::string> expected = {"Sg_RegisterClassStorage(0xB7BDFFA9, 0, 0)", "Sg_RegisterClassStorageAux(1)",
                                         "Sg_SetupTrieGraphSystem()", "Import_IO_Initialize(\"" + path + "\", callback)"};
    expected.insert(expected.end(), report.begin(), report.end());
    expected.push_back("Import_IO_Cleanup()");
    EXPECT_EQ(vxhost::CallLog(), expected);
  }
}

// -- Base names

TEST(BaseName, OnlyABackslashEndsTheDirectory) {
  struct Case {
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\mocap\\walk.bvh", "walk"}, {"walk.bvh", "walk"},   {"C:/mocap/walk.bvh", "C:/mocap/walk"},
      {"a.bvh", "a"},                  {".bvh", ""},           {"bvh", ""},
      {"", ""},                        {"dir\\.bvh", ""},      {"x\\y\\run.asf", "run"},
      {"walkbvh", "wal"},
  };
  for (const Case& c : cases) {
    char* name = MakeImportBaseName(c.path);
    EXPECT_STREQ(name, c.expected) << c.path;
    std::free(name);
  }
}

// -- Jumps to the import trap (interruptions inside an import are the
// fault-injection suite's)

TEST_F(FrameTest, HostFatalMessageOutsideTheBracketEndsNothing) {
  std::string path = scratch.Write("walk.bvh", kWalkBvh);
  vxhost::SetCallLogEnabled(false);
  ASSERT_EQ(Import(path), 0);
  const int64_t calls = vxhost::GetCounters().hostCalls;
  // The three calls before Import_IO_Initialize have no callback to tell;
  // at Import_IO_Cleanup the import has ended.
  for (int64_t n : {int64_t{1}, int64_t{2}, int64_t{3}, calls}) {
    SCOPED_TRACE("kind 5 at host call " + std::to_string(n));
    vxhost::ResetHost();
    vxhost::Kind5AtCall(n);
    EXPECT_EQ(Import(path), 0);
    EXPECT_EQ(vxhost::GetCounters().abortCleanups, 0);
  }
  vxhost::ResetHost();
  vxhost::Kind5AtCall(4);
  EXPECT_EQ(Import(path), 1);
  EXPECT_EQ(vxhost::GetCounters().abortCleanups, 1);
}

TEST_F(FrameTest, HostFatalMessageOutsideAnImportIsOnlyShown) {
  char text[] = "The host is shutting down.\n";
  ImportIoMessage message = {5, 0, 0, text};
  ImportErrorCallback(&message);
  ImportIoMessage note = {1, 0, 0, text};
  ImportErrorCallback(&note);
  EXPECT_EQ(vxhost::AllMessageText(), std::string(text) + text);

  std::string motion = scratch.Write("motion.amc", "");
  EXPECT_EQ(Import(motion), 0);
}

}  // namespace
