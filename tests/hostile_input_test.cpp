// Files no exporter writes on purpose: empty, junk, giant tokens and lines,
// absurd counts and frame times, very deep and very wide skeletons, NUL
// bytes, overlong paths. Each must end with a clear message or a harmless
// documented result, no malformed host call, and memory bounded by what the
// file holds.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "support/plugin_calls.h"
#include "support/samples.h"
#include "support/sanitizer.h"
#include "support/scratch.h"
#include "varnex/host.h"

#ifdef VARNEX_ASAN
// One block of more than a gigabyte is a crash here, whatever the file.
extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=1024:allocator_may_return_null=0"; }
#endif

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using vxtest::kSanitized;

// Writes a file piece by piece, so a 100 MB input never sits in memory.
class FileWriter {
 public:
  explicit FileWriter(const std::string& path) : out_(path, std::ios::binary | std::ios::trunc) {}
  FileWriter& operator<<(std::string_view text) {
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    return *this;
  }
  FileWriter& Repeat(std::string_view text, size_t times) {
    for (size_t i = 0; i < times; ++i) *this << text;
    return *this;
  }

 private:
  std::ofstream out_;
};

const std::string kMegabyteOfA(1 << 20, 'A'), kMegabyteOfZ(1 << 20, 'z');

std::string BvhHead(const std::string& frames, const std::string& frameTime) {
  return "HIERARCHY\nROOT Hips\n{\n OFFSET 0 0 0\n CHANNELS 3 Xposition Yposition Zposition\n"
         " End Site\n {\n  OFFSET 0 1 0\n }\n}\nMOTION\nFrames: " +
         frames + "\nFrame Time: " + frameTime + "\n";
}

constexpr char kNoHierarchy[] =
    "Warning: the hierarchy has an invalid structure: unexpected NULL pointer encountered.";
constexpr char kValuesIgnored[] = "motion values were ignored: their frame number lies outside 1 to ";

std::string JunkBytes(size_t count) {
  std::string junk(count, '\0');
  uint32_t state = 12345;
  for (char& c : junk) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return junk;
}

struct HostileCase {
  const char* name;
  const char* file;                                // written into the scratch folder
  std::function<void(const std::string&)> write;   // writes the file at the path given
  int32_t result;                                  // the import's answer
  const char* message;                             // part of the messages shown; "" when none is asked for
  const char* companion = nullptr;                 // a second file (the AMC beside an ASF)
  std::function<void(const std::string&)> writeCompanion = nullptr;
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

long PeakRssMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

std::function<void(const std::string&)> Text(std::string text) {
  return [text](const std::string& path) { FileWriter(path) << text; };
}

std::vector<HostileCase> Cases() {
  using W = const std::string&;
  std::vector<HostileCase> cases = {
      // -- BVH
      {"BvhEmpty", "empty.bvh", Text(""), 1, "Fatal Error: No joints to import. Aborting.\n"},
      {"BvhOnlyWhitespace", "blank.bvh", [](W p) { FileWriter(p).Repeat(" \t\r\n", 10000); }, 1,
       "Fatal Error: No joints to import. Aborting.\n"},
      {"BvhBinaryJunk", "junk.bvh", Text(JunkBytes(1 << 16)), 1,
       "Fatal Error: token longer than 111 characters found. Aborting.\n"},
      {"BvhHundredMegabyteToken", "token.bvh", [](W p) { FileWriter(p).Repeat(kMegabyteOfA, 100); }, 1,
       "Fatal Error: token longer than 111 characters found. Aborting.\n"},
      {"BvhMegabyteMotionLine", "line.bvh",
       [](W p) { FileWriter(p) << BvhHead("1", "0.04") << "1 2 3 " << std::string(4 << 20, ' ') << "4 5 6\n"; }, 0,
       "Warning: Extra animation information found.\n"},
      {"BvhFramesNegative", "frames_negative.bvh", Text(BvhHead("-5", "0.04") + "1 2 3\n"), 0, ""},
      {"BvhFramesBeyond32Bits", "frames_huge.bvh", Text(BvhHead("99999999999", "0.04") + "1 2 3\n"), 1,
       "Fatal Error: Frames: 1215752191 of 3 channels need more than 64 MB"},
      {"BvhFrameTimeZero", "time_zero.bvh", Text(BvhHead("2", "0") + "1 2 3\n4 5 6\n"), 0,
       "Warning: Frame time 0 gives no usable frame rate.\n"},
      {"BvhFrameTimeNan", "time_nan.bvh", Text(BvhHead("2", "nan") + "1 2 3\n4 5 6\n"), 0,
       "Warning: unknown string encountered: nan.\n"},
      {"BvhFrameTimeTiny", "time_tiny.bvh", Text(BvhHead("2", "1e-300") + "1 2 3\n4 5 6\n"), 0,
       "Warning: Frame time 0 gives no usable frame rate.\n"},
      {"BvhFrameTimeNegative", "time_negative.bvh", Text(BvhHead("2", "-0.04") + "1 2 3\n4 5 6\n"), 0, ""},
      {"BvhCountsOverflowWhenMultiplied", "counts.bvh",
       Text("HIERARCHY\nROOT A\n{\n OFFSET 0 0 0\n CHANNELS 2147483647 Xposition Yposition\n}\nMOTION\n"
            "Frames: 2147483647\nFrame Time: 0.04\n1 2\n3 4\n"),
       1, "Warning: More than 6 channels given for joint A - extra values ignored.\n"},
      {"BvhTenThousandNestedJoints", "deep.bvh",
       [](W p) {
         FileWriter out(p);
         out << "HIERARCHY\nROOT J0\n{\nOFFSET 0 0 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n";
         for (int i = 1; i < 10000; ++i)
           out << "JOINT J" << std::to_string(i) << "\n{\nOFFSET 0 1 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n";
         out << "End Site\n{\nOFFSET 0 1 0\n}\n";
         out.Repeat("}\n", 10000);
         out << "MOTION\nFrames: 2\nFrame Time: 0.04\n";
         for (int frame = 0; frame < 2; ++frame) out.Repeat("1 2 3 ", 10000) << "\n";
       },
       0, ""},
      {"BvhHundredThousandSiblings", "wide.bvh",
       [](W p) {
         FileWriter out(p);
         out << "HIERARCHY\nROOT Hips\n{\nOFFSET 0 0 0\nCHANNELS 3 Xposition Yposition Zposition\n";
         for (int i = 0; i < 100000; ++i) out << "JOINT J" << std::to_string(i) << "\n{\nOFFSET 1 0 0\n}\n";
         out << "}\nMOTION\nFrames: 1\nFrame Time: 0.04\n1 2 3\n";
       },
       0, ""},
      {"BvhNulBytes", "nul.bvh",
       Text("HIERARCHY\nROOT Hi\0ps\n{\n OFFSET 0 0\0 0\n CHANNELS 1 Xposition\n}\n\0\0MOTION\n"
            "Frames: 1\nFrame Time: 0.04\n7\n"s),
       0, "Warning: unknown string encountered: .\n"},
      {"BvhLongestNamesMadeUnique", "names.bvh",
       [](W p) {
         std::string name(111, 'n');
         FileWriter(p) << "HIERARCHY\nROOT " << name << "\n{\nOFFSET 0 0 0\nCHANNELS 1 Xposition\nJOINT " << name
                       << "\n{\nOFFSET 0 1 0\n}\nJOINT " << name << "\n{\nOFFSET 0 1 0\n}\n}\nMOTION\nFrames: 1\n"
                       << "Frame Time: 0.04\n1\n";
       },
       0, ""},
      // -- ASF and AMC
      {"AsfEmpty", "empty.asf", Text(""), 1, kNoHierarchy},
      {"AsfOnlyWhitespace", "blank.asf", [](W p) { FileWriter(p).Repeat(" \t\r\n", 10000); }, 1, kNoHierarchy},
      {"AsfBinaryJunk", "junk.asf", Text(JunkBytes(1 << 16)), 1, kNoHierarchy},
      {"AsfHundredMegabyteToken", "token.asf", [](W p) { FileWriter(p).Repeat(kMegabyteOfZ, 100); }, 1,
       "Line 1: Warning: A token longer than 111 characters was cut to zzzz"},
      {"AsfMegabyteDocumentationLine", "doc.asf",
       [](W p) {
         std::string asf = vxtest::kArmAsf;
         FileWriter(p) << asf.substr(0, asf.find(":root")) << ":documentation " << std::string(4 << 20, 'x') << "\n"
                       << asf.substr(asf.find(":root"));
       },
       0, ""},
      {"AsfTenThousandChainedBones", "chain.asf",
       [](W p) {
         FileWriter out(p);
         out << ":version 1.10\n:name chain\n:root\n order TX TY TZ RX RY RZ\n axis XYZ\n position 0 0 0\n"
             << " orientation 0 0 0\n:bonedata\n";
         for (int i = 0; i < 10000; ++i)
           out << "begin\nid " << std::to_string(i) << "\nname b" << std::to_string(i)
               << "\ndirection 0 1 0\nlength 1\naxis 0 0 0 XYZ\ndof rx\nend\n";
         out << ":hierarchy\nbegin\nroot b0\n";
         for (int i = 0; i + 1 < 10000; ++i) out << "b" << std::to_string(i) << " b" << std::to_string(i + 1) << "\n";
         out << "end\n";
       },
       0, ""},
      {"AsfNulBytes", "nul.asf", Text([] {
         std::string asf = vxtest::kArmAsf;
         return asf.insert(asf.find("fuzzarm") + 3, "\0\0"s);
       }()), 0, ""},
      {"AsfAxisAngleBeyondFloat", "axis.asf",
       [](W p) {
         std::string asf = vxtest::kArmAsf;
         FileWriter(p) << asf.replace(asf.find("axis 0 0 0 XYZ"), 14, "axis 0 1e39 0 XYZ");
       },
       0, "Warning: Bone lower has an axis angle out of range; its axis is taken as 0 0 0.\n", "axis.amc",
       Text(":DEGREES\n1\nroot 0 0 0 0 0 0\nupper 1 2 3\n")},
      {"AmcFrameNumberNearIntMax", "big_frame.asf", Text(vxtest::kArmAsf), 1,
       "Fatal Error: The last frame number 2147483647 needs more than 64 MB of motion samples. Aborting. \n",
       "big_frame.amc",
       Text(":DEGREES\n1\nroot 0 0 0 0 0 0\nupper 1 2 3\n2147483647\nroot 0 0 0 0 0 0\nupper 1 2 3\n")},
      {"AmcFrameNumberNegative", "neg_frame.asf", Text(vxtest::kArmAsf), 0, kValuesIgnored, "neg_frame.amc",
       Text(":DEGREES\n-5\nroot 0 0 0 0 0 0\nupper 1 2 3\n1\nroot 0 0 0 0 0 0\n")},
      {"AmcFrameNumberLowest", "low_frame.asf", Text(vxtest::kArmAsf), 0, kValuesIgnored, "low_frame.amc",
       Text(":DEGREES\n-2147483648\nroot 0 0 0 0 0 0\nupper 1 2 3\n1\nroot 0 0 0 0 0 0\n")},
      {"AmcFrameNumberZero", "zero_frame.asf", Text(vxtest::kArmAsf), 0, kValuesIgnored, "zero_frame.amc",
       Text(":DEGREES\n0\nroot 0 0 0 0 0 0\nupper 1 2 3\n")},
      {"AmcValuesBeyondTheDofs", "many_values.asf", Text(vxtest::kArmAsf), 0, kValuesIgnored, "many_values.amc",
       Text(":DEGREES\n1\nroot 0 0 0 0 0 0 1 2 3 4 5\nupper 1 2 3 4 5 6 7 8\n")},
      {"AmcHundredMegabyteToken", "amc_token.asf", Text(vxtest::kArmAsf), 1,
       "Warning: A token longer than 111 characters was cut to zzzz", "amc_token.amc",
       [](W p) { (FileWriter(p) << ":DEGREES\n1\nroot 0 0 0 0 0 0\n").Repeat(kMegabyteOfZ, 100); }},
      {"AmcBinaryJunk", "amc_junk.asf", Text(vxtest::kArmAsf), 1, "Fatal Error: Undefined bone encountered: ", "amc_junk.amc",
       Text(JunkBytes(1 << 16))},
      {"AmcNulBytes", "amc_nul.asf", Text(vxtest::kArmAsf), 0, "", "amc_nul.amc",
       Text(":DEGREES\n1\nroot 0 0\0 0 0 0 0\nupper 1 2 3\n"s)},
  };
  return cases;
}

class HostileInput : public ::testing::TestWithParam<HostileCase> {
 protected:
  void SetUp() override { vxhost::ResetHost(); }
  void TearDown() override { vxhost::ResetHost(); }
  vxtest::ScratchDir scratch_;
};

TEST_P(HostileInput, EndsWithAClearMessageOrAHarmlessResult) {
  const HostileCase& c = GetParam();
  std::string path = scratch_.Path(c.file);
  c.write(path);
  if (c.companion) c.writeCompanion(scratch_.Path(c.companion));
  uintmax_t bytes = fs::file_size(path) + (c.companion ? fs::file_size(scratch_.Path(c.companion)) : 0);

  long rssBefore = PeakRssMegabytes();
  int32_t result = vxtest::Import(path);
  long rssGrowth = PeakRssMegabytes() - rssBefore;

  std::string messages = vxhost::AllMessageText();
  EXPECT_TRUE(vxhost::HostErrors().empty()) << vxhost::HostErrors().front();
  EXPECT_EQ(result, c.result) << messages.substr(0, 2000);
  EXPECT_NE(messages.find(c.message), std::string::npos) << messages.substr(0, 2000);
  EXPECT_GT(vxhost::FrameRate(), 0);
  // The big skeletons come in whole: the top node or root, every joint, the chain end.
  const std::map<std::string, size_t> instances = {{"BvhTenThousandNestedJoints", 10002},
                                                   {"BvhHundredThousandSiblings", 100002},
                                                   {"BvhLongestNamesMadeUnique", 4},
                                                   {"AsfTenThousandChainedBones", 10002}};
  if (auto expected = instances.find(c.name); expected != instances.end()) {
    EXPECT_EQ(vxhost::AllInstances().size(), expected->second);
  }
  // The scene and the model may take a few hundred bytes per byte of a
  // dense file, never gigabytes for a short one.
  long bound = 64 + static_cast<long>(bytes * (kSanitized ? 1200 : 400) / (1 << 20));
  EXPECT_LE(rssGrowth, bound) << "peak memory grew by " << rssGrowth << " MB for " << bytes << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Files, HostileInput, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

std::string SmallBvh() {
  return BvhHead("2", "0.04") + "1 2 3\n4 5 6\n";
}

TEST(HostilePaths, APathLongerThanAnyBufferThatDoesNotExistIsReported) {
  vxhost::ResetHost();
  std::string path = "/tmp/" + std::string(10000, 'p') + ".bvh";
  EXPECT_EQ(vxtest::Import(path), 1);
  EXPECT_TRUE(vxhost::HostErrors().empty());
  ASSERT_FALSE(vxhost::Messages().empty());
  EXPECT_EQ(vxhost::Messages()[0].kind, vxhost::MessageKind::Catalogue);
  EXPECT_NE(vxhost::Messages()[0].text.find(path), std::string::npos);
  vxhost::ResetHost();
}

TEST(HostilePaths, AFileDeepInLongFoldersImportsUnderItsWholePathAsName) {
  vxhost::ResetHost();
  vxtest::ScratchDir scratch;
  fs::path dir = scratch.Dir();
  while (dir.string().size() < 3600) dir /= std::string(200, 'd');
  fs::create_directories(dir);
  std::string path = (dir / "walk.bvh").string();
  FileWriter(path) << SmallBvh();
  EXPECT_EQ(vxtest::Import(path), 0) << vxhost::AllMessageText();
  EXPECT_TRUE(vxhost::HostErrors().empty());
  // Only a backslash ends the base name, so on this system it keeps the folders.
  EXPECT_NE(vxhost::FindInstance(path.substr(0, path.size() - 4)), nullptr);
  vxhost::ResetHost();
}

// Whatever the options file holds, initialize reads it without harm and the
// next import still works (how each line is read is the options file tests').
TEST(HostileOptionsFile, AnyContentLeavesAWorkingPlugIn) {
  const std::pair<const char*, std::string> files[] = {
      {"junk", JunkBytes(1 << 16)},
      {"megabyte line", "distance_threshold2 = " + std::string(3 << 20, '7') + "\n"},
      {"absurd numbers", "distance_threshold2 = nan\nangular_threshold2 = -1e39\nena_trans_kf_reduction = 1e300\n"
                         "ena_rot_kf_reduction = -99999999999\n"},
  };
  vxtest::ScratchDir scratch;
  std::string bvh = scratch.Write("walk.bvh", SmallBvh());
  for (const auto& [what, contents] : files) {
    SCOPED_TRACE(what);
    vxhost::ResetHost();
    scratch.Write("imp_bvh.ini", contents);
    vxtest::Initialize(scratch.Dir());
    EXPECT_TRUE(vxhost::HostErrors().empty()) << vxhost::HostErrors().front();
    EXPECT_EQ(vxtest::Import(bvh), 0) << vxhost::AllMessageText();
    EXPECT_TRUE(vxhost::HostErrors().empty()) << vxhost::HostErrors().front();
  }
  // Back to the defaults for whatever runs next in this process.
  scratch.Write("imp_bvh.ini",
                "distance_threshold2 = 0.01\nangular_threshold2 = 0.01\nena_trans_kf_reduction = 0\n"
                "ena_rot_kf_reduction = 0\n");
  vxtest::Initialize(scratch.Dir());
  vxhost::ResetHost();
}

}  // namespace
