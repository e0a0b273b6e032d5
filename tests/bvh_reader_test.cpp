// The BVH reader as a user meets it: which files draw which messages, what
// the import answers, how numbers are read, and what odd files leave behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bvh.h"
#include "bvh_import_support.h"

namespace {

using bvhtest::ImportText;
using vxtest::KeyValues;
using Prints = std::vector<std::string>;

const vxhost::Instance* Find(const char* name) { return vxhost::FindInstance(name); }

std::vector<std::string> InstanceNames() {
  std::vector<std::string> names;
  for (const auto* instance : vxhost::AllInstances()) names.push_back(instance->name);
  return names;
}

struct Keys {
  const char* instance;
  int entry;
  std::vector<float> values;
};

// What each file prints and answers, and which value each channel takes,
// whatever the file gets wrong.
struct ReaderCase {
  const char* name;
  std::string text;
  Prints prints;
  int32_t result = 0;
  std::vector<Keys> keys = {};
  int eulerOrder = -1;             // of Hips, when asked
  int validatedRate = 0;           // the one rate validated, when asked
  const char* underTop = nullptr;  // an instance that hangs under the file's node
};

TEST(BvhReader, MessagesResultsAndValues) {
  const std::string kMoreValues =
      "Warning: More motion values per frame than the joints' channel counts take - extra values ignored.\n";
  const std::string hips = "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 2 Xposition Yposition }\n";
  const ReaderCase cases[] = {
      {"well formed", vxtest::kWalkBvh, {}, 0},
      {"no braces at all",
       "HIERARCHY ROOT Hips OFFSET 0 0 0 CHANNELS 3 Zrotation Xrotation Yrotation } MOTION Frames: 1 "
       "Frame Time: 0.1 1 2 3",
       {}, 0},
      {"one closing brace too many",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 1 Xposition } } MOTION Frames: 1 Frame Time: 0.1 5",
       {"Warning: Extra closing parenthesis found - ignoring.\n"}, 0},
      {"second HIERARCHY",
       "HIERARCHY HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 1 Xposition } MOTION Frames: 1 Frame Time: 0.1 5",
       {"Warning: more than one HIERARCHY keyword encountered.\n"}, 0},
      {"ROOT before HIERARCHY stops at ROOT",
       "ROOT Hips { OFFSET 0 0 0 } HIERARCHY ROOT Chest { }",
       {"Fatal Error: missing HIERARCHY keyword. Aborting.\n"}, 1},
      {"JOINT before HIERARCHY stops at JOINT",
       "JOINT Hips { OFFSET 0 0 0 }",
       {"Fatal Error: missing HIERARCHY keyword. Aborting.\n"}, 1},
      {"no HIERARCHY anywhere", "MOTION Frames: 1 1 2 3",
       {"Fatal Error: No joints to import. Aborting.\n"}, 1},
      {"a number as joint name",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 JOINT 1 { OFFSET 0 1 0 } }",
       {"Warning: Missing root or joint name.\n"}, 0},
      {"a two-word joint name",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 JOINT Left Hip { OFFSET 0 1 0 } }",
       {"Warning: unknown string encountered: Hip.\n"}, 0},
      {"two offset numbers, then CHANNELS",
       "HIERARCHY ROOT Hips { OFFSET 1 2 CHANNELS 1 Xposition }",
       {"Warning: Missing offset value. Assuming 0.0.\n"}, 0},
      {"CHANNELS before OFFSET",
       "HIERARCHY ROOT Hips { CHANNELS 1 Xposition OFFSET 1 2 3 }",
       {"Warning: Missing offset value. Assuming 0.0.\n", "Warning: Missing root or joint name.\n"}, 0},
      {"Frames: without MOTION",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 1 Xposition } Frames: 1 Frame Time: 0.1 5",
       {"Warning: Missing MOTION keyword.\n"}, 0},
      {"more values than frames warn once",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 1 Xposition } MOTION Frames: 1 Frame Time: 0.1 5 6 7 8",
       {"Warning: Extra animation information found.\n"}, 0},
      {"zero frames with values",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 1 Xposition } MOTION Frames: 0 Frame Time: 0.1 5 6",
       {"Warning: Extra animation information found.\n"}, 0},
      {"frame time without any joint",
       "HIERARCHY MOTION Frames: 1 Frame Time: 0.1 1 2 3",
       {"Fatal Error: No channels to animate found. Aborting.\n"}, 1},
      {"unknown word in the hierarchy",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 Bogus CHANNELS 1 Xposition }",
       {"Warning: unknown string encountered: Bogus.\n"}, 0},
      {"an uppercase exponent is no number and takes no place",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 1 Xposition } MOTION Frames: 2 Frame Time: 0.1 1.5E-05 2 1.5e-05 3",
       {"Warning: unknown string encountered: 1.5E-05.\n", "Warning: Extra animation information found.\n"}, 0,
       {{"Hips", vxhost::kTranslateX, {2, 1.5e-05f}}}},
      {"keywords are case-sensitive",
       "hierarchy HIERARCHY ROOT Hips { OFFSET 0 0 0 }",
       {"Warning: unknown string encountered: hierarchy.\n"}, 0},
      // -- what the reader does with files the format leaves open
      {"a token of 112 characters", hips + std::string(kBvhMaxTokenLength + 1, 'n') + " MOTION",
       {"Fatal Error: token longer than 111 characters found. Aborting.\n"}, 1},
      {"a name of 111 characters", "HIERARCHY ROOT " + std::string(kBvhMaxTokenLength, 'n') + " { OFFSET 0 0 0 }",
       {}, 0},
      {"a seventh channel name",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation "
       "Yrotation Xrotation } MOTION Frames: 1 Frame Time: 0.1 1 2 3 4 5 6 7",
       {"Warning: More than 6 channel names for joint Hips - ignoring Xrotation.\n",
        "Warning: Joint Hips lists 7 channel names for CHANNELS 6.\n",
        kMoreValues},
       0},
      {"a count above six: the seventh value keeps its place in the frame and is dropped",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 7 Xposition Yposition Zposition Zrotation Xrotation "
       "Yrotation Xrotation } MOTION Frames: 2 Frame Time: 0.1 1 2 3 4 5 6 7 8 9 10 11 12 13 14",
       {"Warning: More than 6 channels given for joint Hips - extra values ignored.\n",
        "Warning: More than 6 channel names for joint Hips - ignoring Xrotation.\n"},
       0, {{"Hips", vxhost::kTranslateX, {1, 8}}}},
      {"a negative count", "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS -2 } MOTION Frames: 1 Frame Time: 0.1",
       {"Warning: Negative channel count for joint Hips. Assuming 0.\n"}, 0},
      {"fewer names than the count",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 3 Xposition Yposition } MOTION Frames: 2 Frame Time: 0.1 "
       "1 2 3 4",
       {"Warning: Joint Hips lists 2 channel names for CHANNELS 3.\n"}, 0},
      {"channel counts but no names",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 3 } MOTION Frames: 2 Frame Time: 0.1 1 2 3 4 5 6 7",
       {"Warning: Joint Hips lists 0 channel names for CHANNELS 3.\n",
        "Warning: Extra animation information found.\n"},
       0},
      // Frames without a frame time after them: channels, Euler order and rest keys, no frame key.
      {"frames without a frame time",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 2 Xrotation Yrotation } MOTION Frames: 3 1 2 3",
       {"Warning: Missing frame time. No motion imported.\n"}, 0,
       {{"Hips", vxhost::kScaleX, {1}}, {"Hips", vxhost::kRotateX, {}}}, 6},
      {"cut off in the hierarchy", "HIERARCHY ROOT Hips { OFFSET 0 0", {}, 0},
      {"NUL bytes after the motion are a token", vxtest::kWalkBvh + std::string(4, '\0'),
       {"Warning: unknown string encountered: .\n"}, 0},
      {"frame arrays beyond the limit",
       hips + "MOTION Frames: " + std::to_string(kBvhFrameArrayLimit / 8 + 1) + " Frame Time: 0.1 1 2",
       {"Fatal Error: Frames: " + std::to_string(kBvhFrameArrayLimit / 8 + 1) + " of 2 channels need more than " +
        std::to_string(kBvhFrameArrayLimit >> 20) + " MB of frame arrays. Aborting.\n"},
       1},
      {"frame time before the frame count",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 2 Xrotation Yrotation } MOTION Frame Time: 0.1 Frames: 3 1 2 3",
       {"Warning: Missing MOTION keyword.\n", "Warning: Frame Time: comes before Frames:. No motion imported.\n"}, 0,
       {{"Hips", vxhost::kScaleX, {1}}, {"Hips", vxhost::kRotateX, {}}}, 6},

      {"cut off in the motion", hips + "MOTION Frames: 3 Frame Time: 0.1 1 2 3", {}, 0},
      {"two ROOTs take values in file order, the End Site none",
       "HIERARCHY ROOT A { OFFSET 0 0 0 CHANNELS 1 Xposition End Site { OFFSET 0 1 0 } } ROOT B { OFFSET 0 0 0 "
       "CHANNELS 2 Xposition Yposition } MOTION Frames: 2 Frame Time: 0.1 1 2 3 4 5 6",
       {}, 0, {{"A", vxhost::kTranslateX, {1, 4}}, {"B", vxhost::kTranslateX, {2, 5}}, {"B", vxhost::kTranslateY, {3, 6}}},
       -1, 0, "B"},
      {"an End Site with channels takes values like a joint",
       "HIERARCHY ROOT A { OFFSET 0 0 0 CHANNELS 1 Xposition End Site { OFFSET 0 1 0 CHANNELS 1 Yposition } } "
       "MOTION Frames: 1 Frame Time: 0.1 7 8",
       {}, 0, {{"End Site", vxhost::kTranslateY, {9}}}},
      {"values missing at the end leave zeros, values before the frame time are ignored",
       "HIERARCHY ROOT A { OFFSET 0 0 0 CHANNELS 2 Xposition Yposition } MOTION Frames: 3 99 Frame Time: 0.1 1 2 3",
       {}, 0, {{"A", vxhost::kTranslateX, {1, 3, 0}}, {"A", vxhost::kTranslateY, {2, 0, 0}}}},
      {"more names than the count: frames are as long as the names",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 1 Xposition Yposition } MOTION Frames: 2 Frame Time: 0.1 1 2 3 4",
       {"Warning: Joint Hips lists 2 channel names for CHANNELS 1.\n", kMoreValues}, 0,
       {{"Hips", vxhost::kTranslateX, {1, 3}}}},
      {"a second frame time makes the arrays anew but keeps what the frame already took",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 2 Xposition Yposition } MOTION Frames: 2 Frame Time: 0.1 1 "
       "Frame Time: 0.05 3 4 5 6",
       {kMoreValues}, 0, {{"Hips", vxhost::kTranslateX, {0, 5}}, {"Hips", vxhost::kTranslateY, {3, 6}}}, -1, 20},
      {"a joint after the frame time stands at its offset",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 1 Xposition } MOTION Frames: 2 Frame Time: 0.1 1 JOINT Late { "
       "OFFSET 0 1 0 CHANNELS 1 Yposition } 2 3",
       {}, 0, {{"Late", vxhost::kTranslateY, {1}}}},
      {"Site alone opens an End Site, Time: alone takes the frame time",
       "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 1 Xposition Site { OFFSET 0 2 0 } } MOTION Frames: 1 Time: 0.1 7",
       {}, 0, {{"End Site", vxhost::kTranslateY, {2}}, {"Hips", vxhost::kTranslateX, {7}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto outcome = ImportText(c.text);
    EXPECT_EQ(outcome.prints, c.prints);
    EXPECT_EQ(outcome.result, c.result);
    // A fatal error while reading builds nothing.
    if (c.result == 1) {
      EXPECT_TRUE(vxhost::AllInstances().empty());
    }
    EXPECT_TRUE(vxhost::HostErrors().empty());
    EXPECT_GT(vxhost::FrameRate(), 0);
    for (const Keys& keys : c.keys) EXPECT_EQ(KeyValues(keys.instance, keys.entry), keys.values) << keys.instance;
    if (c.eulerOrder >= 0) {
      EXPECT_EQ(Find("Hips")->eulerOrder, c.eulerOrder);
    }
    if (c.validatedRate > 0) {
      EXPECT_EQ(bvhtest::LogLinesStartingWith(outcome.log, "Sg_ValidateFrameRate"),
                (Prints{"Sg_ValidateFrameRate(&" + std::to_string(c.validatedRate) + ")"}));
    }
    if (c.underTop) {
      EXPECT_EQ(Find(c.underTop)->parent, Find("walk"));
    }
  }
}

TEST(BvhReader, NamesAndOffsetsOfOddHierarchies) {
  ImportText("HIERARCHY ROOT Hips { OFFSET 0 0 0 JOINT 1 { OFFSET 0 1 0 } JOINT Left Hip { OFFSET 0 2 0 } }");
  EXPECT_EQ(InstanceNames().size(), 4u);
  ASSERT_NE(Find("Default Joint"), nullptr);
  ASSERT_NE(Find("Left"), nullptr);
  EXPECT_EQ(Find("Left")->parent, Find("Hips"));

  ImportText("HIERARCHY ROOT Hips { OFFSET 1 2 CHANNELS 0 }");
  EXPECT_EQ(Find("Hips")->staticTransform[3][0], 1.0);
  EXPECT_EQ(Find("Hips")->staticTransform[3][1], 2.0);
  EXPECT_EQ(Find("Hips")->staticTransform[3][2], 0.0);

  // Missing braces change nothing.
  ImportText("HIERARCHY ROOT Hips OFFSET 0 0 0 JOINT Chest OFFSET 0 5 0 End Site OFFSET 0 4 0 } } }");
  auto bare = InstanceNames();
  ImportText("HIERARCHY ROOT Hips { OFFSET 0 0 0 JOINT Chest { OFFSET 0 5 0 End Site { OFFSET 0 4 0 } } }");
  EXPECT_EQ(InstanceNames(), bare);
  EXPECT_EQ(Find("End Site")->parent, Find("Chest"));
}

TEST(BvhReader, NumberSyntax) {
  const std::pair<const char*, int> cases[] = {
      {"12", 1},   {"-0.5", 1}, {".5", 1},    {"1e-3", 1}, {"1e5", 1},  {"1.2.3", 1}, {"1e+", 1},
      {".e5", 1},  {"+", 1},    {"-", 1},     {".", 1},    {"+.", 1},   {"1e5.5", 1}, {"", 0},
      {"e5", 0},   {"1e", 0},   {"1E5", 0},   {"1e5e3", 0}, {"--1", 0}, {"1-2", 0},   {"abc", 0},
      {"0x1F", 0}, {"+-1", 0},  {"1e-+2", 0}, {"1ex", 0},  {"nan", 0},  {"-inf", 0},  {"1 2", 0},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(IsNumberToken(text), expected) << '"' << text << '"';
  }
}

// Every text with number syntax is read as atof reads it, then rounded to
// single precision, both in the hierarchy and in the motion.
TEST(BvhReader, NumbersReadAsAtofReadsThem) {
  std::vector<std::string> texts = {"1.2.3", "1e+", ".e5", "+", "-", ".", "+.5", "-.5e1", "1e5.5", "007",
                                    "0.1", "3.4028235e38", "1e39", "-1e39", "1e-50", "1.4e-45", "2.5e-308",
                                    "1e-400", "123456789012345678901234567890", "0.30000000000000004",
                                    "-0.000000", "1.00000005960464477539", "9.999999e-41"};
  std::mt19937 random(7);
  const char alphabet[] = "0123456789.";
  for (int i = 0; i < 300; ++i) {
    std::string text;
    if (random() % 3 == 0) text += "+-."[random() % 3];
    int digits = 1 + static_cast<int>(random() % 18);
    for (int d = 0; d < digits; ++d) text += alphabet[random() % (random() % 4 == 0 ? 11 : 10)];
    if (random() % 2 == 0) {
      text += 'e';
      text += "+-0123456789"[random() % 12];
      for (int d = static_cast<int>(random() % 3); d > 0; --d) text += alphabet[random() % 10];
    }
    if (IsNumberToken(text.c_str()) == 1) texts.push_back(text);
  }
  // A distinct value between any two keeps every key from the host's
  // optimisation, which drops keys inside runs of equal values.
  std::string motion;
  for (size_t i = 0; i < texts.size(); ++i) motion += texts[i] + " " + std::to_string(i) + ".25\n";
  ImportText("HIERARCHY ROOT A { OFFSET " + texts[0] + " " + texts[1] + " " + texts[2] +
             " CHANNELS 1 Xposition } MOTION Frames: " + std::to_string(2 * texts.size()) +
             " Frame Time: 0.1\n" + motion);
  auto values = KeyValues("A", vxhost::kTranslateX);
  ASSERT_EQ(values.size(), 2 * texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    float expected = static_cast<float>(std::atof(texts[i].c_str()));
    EXPECT_EQ(std::memcmp(&values[2 * i], &expected, sizeof(float)), 0) << texts[i] << " gave " << values[2 * i];
  }
  const auto& transform = Find("A")->staticTransform;
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_EQ(static_cast<float>(transform[3][axis]), static_cast<float>(std::atof(texts[axis].c_str())));
  }
}

TEST(BvhReader, LongTakesKeepWhatTheyHold) {
  // A count far beyond the values present keys every frame, the missing ones at 0;
  // 1.2 million values is more than any margin over the bytes of the file.
  // The host keeps the first, second and last key of a run of zeros.
  vxhost::ResetHost();
  vxhost::SetCallLogEnabled(false);
  bvhtest::TestDir().Write("long.bvh", "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 6 Xposition Yposition "
                                       "Zposition Zrotation Xrotation Yrotation } MOTION Frames: 200000 "
                                       "Frame Time: 0.1 1 2");
  EXPECT_EQ(bvhtest::RunImport("long.bvh"), 0);
  const auto& keys = Find("Hips")->channels[vxhost::kTranslateX]->keys;
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys.back().time, 199999 * 480);
  // With no value at all, every joint still gets its channels, Euler order and rest keys.
  vxhost::ResetHost();
  bvhtest::TestDir().Write("empty.bvh", "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 3 Xrotation Yrotation "
                                        "Zrotation } MOTION Frames: 400000 Frame Time: 0.1");
  EXPECT_EQ(bvhtest::RunImport("empty.bvh"), 0);
  EXPECT_EQ(Find("Hips")->eulerOrder, 10);
  EXPECT_EQ(KeyValues("Hips", vxhost::kScaleX), (std::vector<float>{1}));

  // Key times beyond 2^31 ticks are held at the last one, with one warning.
  vxhost::ResetHost();
  bvhtest::TestDir().Write("late.bvh", "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 1 Xposition } MOTION "
                                       "Frames: 447394 Frame Time: 1 1 2");
  EXPECT_EQ(bvhtest::RunImport("late.bvh"), 0);
  EXPECT_EQ(vxtest::PrintedTexts(),
            (Prints{"Warning: From frame 447393 on, key times lie beyond 2^31 ticks; they are held at 2147483647.\n"}));
  EXPECT_EQ(Find("Hips")->channels[vxhost::kTranslateX]->keys.back().time, INT32_MAX);
}

// A take of several read blocks whose values come in every shape the reader
// takes, some of which leave the bulk path mid-frame: each value lands where
// atof puts it, and the polls count the tokens and characters a plain split
// of the file counts.
TEST(BvhReader, LongMotionKeepsEveryValueAndPoll) {
  struct Insert {
    int every;          // after every so many values
    std::string token;  // what up to a NUL byte reads as a value, or a keyword
    bool isValue;
  };
  const Insert inserts[] = {
      {97, "1.5e1", true},
      {131, "+7.25", true},
      {173, "{", false},
      {211, "12345678901234567890.5", true},
      {257, std::string("3.5\0x", 5), true},
      {389, "-.125", true},
  };
  const char* const separators[] = {" ", "\t", "\r\n", "  "};
  constexpr int kChannels = 9;
  constexpr int kFrames = 12000;
  std::string text = "HIERARCHY ROOT A { OFFSET 0 0 0 CHANNELS 3 Xposition Yposition Zposition\n";
  text += "JOINT B { OFFSET 0 0 0 CHANNELS 3 Xposition Yposition Zposition\n";
  text += "JOINT C { OFFSET 0 0 0 CHANNELS 3 Xposition Yposition Zposition } } }\n";
  text += "MOTION Frames: " + std::to_string(kFrames) + " Frame Time: 0.1\n";
  std::vector<std::string> tokens;
  std::istringstream head(text);
  for (std::string token; head >> token;) tokens.push_back(token);
  std::vector<float> expected[kChannels];
  for (int value = 0; value < kChannels * kFrames; ++value) {
    std::string token = std::to_string(value / kChannels) + "." + std::to_string(value % 1000);
    if (value % 5 == 0) token = "-" + token;
    for (const Insert& insert : inserts) {
      if (value % insert.every != insert.every - 1) continue;
      if (insert.isValue) token = insert.token;
      else tokens.push_back(insert.token), text += insert.token + " ";
    }
    expected[value % kChannels].push_back(static_cast<float>(std::atof(token.c_str())));
    tokens.push_back(token);
    text += token + separators[value % 4];
  }
  ASSERT_GT(text.size(), 3u * 256 * 1024);
  auto outcome = ImportText(text);
  ASSERT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.prints, Prints{});
  for (int channel = 0; channel < kChannels; ++channel) {
    const char* joint[] = {"A", "B", "C"};
    EXPECT_EQ(KeyValues(joint[channel / 3], vxhost::kTranslateX + channel % 3), expected[channel]) << channel;
  }
  std::vector<std::string> polls;
  int64_t characters = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    characters += static_cast<int64_t>(std::strlen(tokens[i].c_str()));
    if ((i + 1) % 40 == 0) {
      polls.push_back("Import_IO_Check_For_Abort({40, " + std::to_string(characters) + ", " +
                      std::to_string(2 * text.size()) + ", 0, 0})");
    }
  }
  EXPECT_EQ(bvhtest::LogLinesStartingWith(outcome.log, "Import_IO_Check_For_Abort"), polls);
}

// Every prefix of a file imports without a crash, a leak or a host error,
// and the complete file still imports the same afterwards.
TEST(BvhReader, EveryTruncationImportsCleanly) {
  const std::string full = vxtest::kWalkBvh;
  ImportText(full);
  const auto expectedLog = vxhost::CallLog();
  for (size_t length = 0; length < full.size(); ++length) {
    auto outcome = ImportText(full.substr(0, length));
    ASSERT_TRUE(outcome.result == 0 || outcome.result == 1) << length;
    ASSERT_TRUE(vxhost::HostErrors().empty()) << length;
  }
  EXPECT_EQ(ImportText(full).log, expectedLog);
}

}  // namespace
