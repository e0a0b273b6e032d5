// What a BVH import builds in the host: the instances with their flags and
// locks, the channels with their Euler orders, the keys with their times and
// values, the reduction requests and the abort polls with their progress
// figures, seen through the scene and the call log.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "bvh_import_support.h"

namespace {

using bvhtest::ImportText;
using bvhtest::LogLinesFor;
using Lines = std::vector<std::string>;

std::string Fmt(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

// Key identifiers are the host's own; the tests look at everything else.
Lines WithoutKeyIds(const Lines& lines) {
  static const std::regex kfid("kfid, [0-9]+");
  Lines out;
  for (const auto& line : lines) out.push_back(std::regex_replace(line, kfid, "kfid, #"));
  return out;
}

Lines ControllerLinesFor(const Lines& log, const std::string& instance) {
  Lines lines;
  const std::string prefix = "Sg_AnimController(&status, ctrlrid, <" + instance + ".";
  for (const auto& line : log) {
    if (line.rfind(prefix, 0) == 0) lines.push_back(line);
  }
  return WithoutKeyIds(lines);
}

std::string KeyLines(const std::string& channel, int time, float value) {
  return "Sg_AnimController(&status, ctrlrid, <" + channel + ">, type, kfbezier, 1, keyframe, &id, time, &" +
         std::to_string(time) + ", add, 1, 0)\n" + "Sg_AnimController(&status, ctrlrid, <" + channel +
         ">, keyframe, &id, kfid, #, value, &" + Fmt(value) + ", 1, 0)";
}

std::string Joined(const Lines& lines) {
  std::string text;
  for (const auto& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

const std::string kLocksOn =
    "dofconstraintlocks, lockaxis, translate, xaxis, enabled, on, lockaxis, translate, yaxis, enabled, on, "
    "lockaxis, translate, zaxis, enabled, on, lockaxis, rotate, xaxis, enabled, on, lockaxis, rotate, yaxis, "
    "enabled, on, lockaxis, rotate, zaxis, enabled, on, 1, 0)";

std::string Unlock(const std::string& name, const char* kind, const char* axis) {
  return "Sg_Instance(\"" + name + "\", dofconstraintlocks, lockaxis, " + kind + ", " + axis +
         ", enabled, off, 1, 0)";
}

TEST(BvhScene, BuilderCallsPerRecord) {
  auto outcome = ImportText(vxtest::kWalkBvh);
  ASSERT_EQ(outcome.result, 0);
  EXPECT_TRUE(vxhost::HostErrors().empty());

  EXPECT_EQ(LogLinesFor(outcome.log, "walk"),
            (Lines{"Import_IO_MakeNameUnique(instance, \"walk\", buffer)",
                   "Sg_Add_Empty_Node(instance, \"walk\", 0)",
                   "Sg_Attach(instance, \"walk\", instance, \"world\", 0)",
                   "Sg_Instance(\"walk\", ikparams, thisisikanchor, enabled, off, notaffectedbyikofdescendants, "
                   "enabled, off, 1, 0)",
                   "Sg_Transform(instance, \"walk\", postmultiply, translate, [0, 0, 0], 0)",
                   "Sg_Instance(\"walk\", " + kLocksOn,
                   "Sg_Attach(instance, \"Hips\", instance, \"walk\", 0)"}));

  EXPECT_EQ(LogLinesFor(outcome.log, "Hips"),
            (Lines{"Import_IO_MakeNameUnique(instance, \"Hips\", buffer)",
                   "Sg_Add_Empty_Node(instance, \"Hips\", 0)",
                   "Sg_Attach(instance, \"Hips\", instance, \"walk\", 0)",
                   "Sg_Instance(\"Hips\", skeleton, endeffectornode, enabled, off, jointnode, enabled, on, 1, 0)",
                   "Sg_Instance(\"Hips\", ikparams, thisisikanchor, enabled, on, notaffectedbyikofdescendants, "
                   "enabled, on, 1, 0)",
                   "Sg_Transform(instance, \"Hips\", postmultiply, translate, [0, 0, 0], 0)",
                   "Sg_Instance(\"Hips\", " + kLocksOn,
                   Unlock("Hips", "translate", "xaxis"),
                   Unlock("Hips", "translate", "yaxis"),
                   Unlock("Hips", "translate", "zaxis"),
                   Unlock("Hips", "rotate", "zaxis"),
                   Unlock("Hips", "rotate", "xaxis"),
                   Unlock("Hips", "rotate", "yaxis"),
                   "Sg_Attach(instance, \"Chest\", instance, \"Hips\", 0)",
                   "Sg_AddDefaultAnimationChannels(instance, \"Hips\", all, 0)",
                   "Sg_Instance(\"Hips\", replacechannels, eulerrotate, 0)",
                   "Sg_Instance(\"Hips\", eulerorder, &6, 0)",
                   "Import_IO_Get_DefaultAnimationChannelPtrs(\"Hips\", table)",
                   "Import_IO_OptimizeTransformationChannels(\"Hips\")"}));

  EXPECT_EQ(LogLinesFor(outcome.log, "End Site"),
            (Lines{"Import_IO_MakeNameUnique(instance, \"End Site\", buffer)",
                   "Sg_Add_Empty_Node(instance, \"End Site\", 0)",
                   "Sg_Attach(instance, \"End Site\", instance, \"Chest\", 0)",
                   "Sg_Instance(\"End Site\", skeleton, endeffectornode, enabled, on, jointnode, enabled, off, 1, 0)",
                   "Sg_Instance(\"End Site\", ikparams, thisisikanchor, enabled, off, notaffectedbyikofdescendants, "
                   "enabled, off, 1, 0)",
                   "Sg_Transform(instance, \"End Site\", postmultiply, translate, [0, 4, 0], 0)",
                   "Sg_Instance(\"End Site\", " + kLocksOn,
                   "Sg_AddDefaultAnimationChannels(instance, \"End Site\", all, 0)",
                   "Sg_Instance(\"End Site\", replacechannels, eulerrotate, 0)",
                   "Sg_Instance(\"End Site\", eulerorder, &6, 0)",
                   "Import_IO_Get_DefaultAnimationChannelPtrs(\"End Site\", table)",
                   "Import_IO_OptimizeTransformationChannels(\"End Site\")"}));

  // A joint below the root: translations locked, rotations free, no IK anchor.
  const auto* chest = vxhost::FindInstance("Chest");
  EXPECT_TRUE(chest->jointNode && !chest->ikAnchor && chest->locked[0][0] && chest->locked[0][1] && chest->locked[0][2]);
  EXPECT_FALSE(chest->locked[1][0] || chest->locked[1][1] || chest->locked[1][2]);

  // After the skeleton: the status text, then the rate, validated and set, before any channel.
  auto at = std::find(outcome.log.begin(), outcome.log.end(),
                      "Import_IO_Display_Info_Text(\"Setting Animation Channels\")");
  ASSERT_GE(outcome.log.end() - at, 4);
  EXPECT_EQ(Lines(at + 1, at + 4), (Lines{"Sg_ValidateFrameRate(&30)", "Sg_Animation(framerate, &30, 1, 0)",
                                          "Sg_AddDefaultAnimationChannels(instance, \"Hips\", all, 0)"}));
}

TEST(BvhScene, KeysOfOneJoint) {
  auto outcome = ImportText(vxtest::kWalkBvh);
  auto radians = [](float degrees) {
    return static_cast<float>(static_cast<double>(degrees / 180.0f) * 3.141592653589793);
  };
  const Lines expected = {
      KeyLines("Chest.sx", 0, 1), KeyLines("Chest.sy", 0, 1), KeyLines("Chest.sz", 0, 1),
      KeyLines("Chest.tx", 0, 0), KeyLines("Chest.ty", 0, 5), KeyLines("Chest.tz", 0, 0),
      KeyLines("Chest.rz", 0, radians(40)), KeyLines("Chest.rx", 0, radians(50)),
      KeyLines("Chest.ry", 0, radians(60)), KeyLines("Chest.rz", 160, radians(41)),
      KeyLines("Chest.rx", 160, radians(51)), KeyLines("Chest.ry", 160, radians(61)),
  };
  EXPECT_EQ(Joined(ControllerLinesFor(outcome.log, "Chest")), Joined(expected));
}

// Root positions stand as written, a joint's add its offset; rotations are
// radians rounded to single precision.
TEST(BvhScene, KeyValuesOfPositionsAndRotations) {
  ImportText(R"(HIERARCHY
ROOT Hips { OFFSET 1 2 3 CHANNELS 4 Xposition Yposition Zposition Zrotation
  JOINT Arm { OFFSET 1 2 3 CHANNELS 3 Zposition Yposition Xposition } }
MOTION Frames: 4 Frame Time: 0.1
10 20 30 90 10 20 30
0 0 0 -45 0 0 0
0 0 0 180 0 0 0
0 0 0 0.001 0 0 0)");
  auto first = [](const char* name, int entry) {
    return vxhost::FindInstance(name)->channels[entry]->keys.at(0).value;
  };
  EXPECT_EQ(first("Hips", vxhost::kTranslateX), 10.0f);
  EXPECT_EQ(first("Hips", vxhost::kTranslateY), 20.0f);
  EXPECT_EQ(first("Hips", vxhost::kTranslateZ), 30.0f);
  EXPECT_EQ(first("Arm", vxhost::kTranslateX), 31.0f);
  EXPECT_EQ(first("Arm", vxhost::kTranslateY), 22.0f);
  EXPECT_EQ(first("Arm", vxhost::kTranslateZ), 13.0f);
  std::vector<float> radians;
  for (const auto& key : vxhost::FindInstance("Hips")->channels[vxhost::kRotateZ]->keys) radians.push_back(key.value);
  EXPECT_EQ(radians, (std::vector<float>{1.5707964f, -0.785398185f, 3.14159274f, 1.74532925e-05f}));
}

TEST(BvhScene, FrameTimesGiveRatesAndTicks) {
  struct RateCase {
    const char* frameTime;
    int rateBeforeValidation;
    int step;  // ticks between frames at the rate the host settles on
  };
  const RateCase cases[] = {
      {"0.033333", 30, 160}, {"0.0416666", 24, 200}, {"0.0083333", 120, 40}, {".0083333", 120, 40},
      {"0.01", 100, 48},     {"0.016667", 59, 80},   {"0.041667", 23, 200},  {"0.066667", 14, 320},
      {"0.0833334", 11, 400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.frameTime);
    auto outcome = ImportText(std::string("HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 1 Xposition } MOTION "
                                          "Frames: 3 Frame Time: ") + c.frameTime + " 1 2 3");
    auto validate = bvhtest::LogLinesStartingWith(outcome.log, "Sg_ValidateFrameRate");
    ASSERT_EQ(validate.size(), 1u);
    EXPECT_EQ(validate[0], "Sg_ValidateFrameRate(&" + std::to_string(c.rateBeforeValidation) + ")");
    int rate = vxhost::FrameRate();
    EXPECT_EQ(bvhtest::LogLinesStartingWith(outcome.log, "Sg_Animation"),
              (Lines{"Sg_Animation(framerate, &" + std::to_string(rate) + ", 1, 0)"}));
    EXPECT_EQ(vxhost::KeyTimes(), (std::vector<int32_t>{0, c.step, 2 * c.step}));
  }
}

TEST(BvhScene, EulerOrderFromRotationChannels) {
  const std::pair<const char*, int> cases[] = {
      {"3 Zrotation Xrotation Yrotation", 6},
      {"3 Zrotation Yrotation Xrotation", 0},
      {"3 Xrotation Yrotation Zrotation", 10},
      {"3 Xrotation Zrotation Yrotation", 4},
      {"3 Yrotation Xrotation Zrotation", 8},
      {"3 Yrotation Zrotation Xrotation", 2},
      {"6 Xposition Zrotation Yposition Yrotation Zposition Xrotation", 0},
      {"2 Xrotation Yrotation", 6},
      {"1 Yrotation", 6},
      {"3 Xposition Yposition Zposition", 6},
      {"3 Xrotation Xrotation Yrotation", 6},
      {"4 Xrotation Yrotation Zrotation Xrotation", 6},
      {"0", 6},
  };
  for (const auto& [channels, code] : cases) {
    SCOPED_TRACE(channels);
    ImportText(std::string("HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS ") + channels +
               " } MOTION Frames: 1 Frame Time: 0.1 1 2 3 4 5 6");
    EXPECT_EQ(vxhost::FindInstance("Hips")->eulerOrder, code);
  }
}

TEST(BvhScene, NamesAreMadeUniqueAndChildrenFollowTheirParents) {
  ImportText(R"(HIERARCHY
ROOT Arm { OFFSET 0 0 0
  JOINT Arm { OFFSET 0 1 0 JOINT Hand { OFFSET 0 1 0 } }
  JOINT Hand { OFFSET 1 0 0 } })");
  auto instances = vxhost::AllInstances();
  ASSERT_EQ(instances.size(), 5u);
  EXPECT_EQ(instances[1]->name, "Arm");
  EXPECT_NE(instances[2]->name, "Arm");
  EXPECT_EQ(instances[2]->parent, instances[1]);
  EXPECT_EQ(instances[3]->parent, instances[2]);
  EXPECT_EQ(instances[4]->parent, instances[1]);
  EXPECT_NE(instances[3]->name, instances[4]->name);
}

// Each reduction asks for its three channels, after the optimisation; a
// take of one frame asks for none.
TEST(BvhScene, ReductionRequests) {
  auto requests = [](bool eulerAngles, Lines& lines) {
    for (const char* axis : {"x", "y", "z"})
      lines.push_back(std::string("Sg_AnimController(&status, ctrlrid, <Hips.") + (eulerAngles ? "r" : "t") + axis +
                      ">, reducekeys, distance, &0.5, angle, &2, keysareeulerangles, enabled, " +
                      (eulerAngles ? "on" : "off") + ", angularkeysareindegrees, enabled, off, 0)");
  };
  for (bool translation : {false, true}) {
    for (bool rotation : {false, true}) {
      for (int frames : {1, 2}) {
        SCOPED_TRACE(std::to_string(translation) + std::to_string(rotation) + std::to_string(frames));
        auto outcome = ImportText(
            "HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 6 Zrotation Xposition Yrotation Yposition Xrotation "
            "Zposition } MOTION Frames: " + std::to_string(frames) + " Frame Time: 0.1 1 2 3 4 5 6 7 8 9 10 11 12",
            {translation, rotation, "0.5", "2"});
        Lines expected;
        if (frames > 1 && translation) requests(false, expected);
        if (frames > 1 && rotation) requests(true, expected);
        Lines made;
        bool optimized = false;
        for (const auto& line : outcome.log) {
          optimized = optimized || line == "Import_IO_OptimizeTransformationChannels(\"Hips\")";
          if (line.find("reducekeys") != std::string::npos) {
            EXPECT_TRUE(optimized) << "reduction before optimisation";
            made.push_back(line);
          }
        }
        EXPECT_TRUE(optimized);
        EXPECT_EQ(made, expected);
        EXPECT_EQ(vxhost::FindInstance("Hips")->channels[vxhost::kTranslateX]->reductionRequests,
                  frames > 1 && translation ? 1 : 0);
      }
    }
  }
}

TEST(BvhScene, NoFramesBuildsTheSkeletonAndTheRateOnly) {
  auto outcome = ImportText("HIERARCHY ROOT Hips { OFFSET 0 0 0 CHANNELS 1 Xposition } MOTION Frames: 0 "
                            "Frame Time: 0.05");
  EXPECT_EQ(outcome.result, 0);
  EXPECT_NE(vxhost::FindInstance("Hips"), nullptr);
  EXPECT_EQ(vxhost::KeyCount(), 0u);
  EXPECT_EQ(bvhtest::LogLinesStartingWith(outcome.log, "Sg_ValidateFrameRate"), (Lines{"Sg_ValidateFrameRate(&20)"}));
  EXPECT_TRUE(bvhtest::LogLinesStartingWith(outcome.log, "Sg_AddDefaultAnimationChannels").empty());
}

// -- Abort polls

// A chain of five joints with three channels each, an End Site, and frames.
std::string ChainFile(int frames) {
  std::string text = "HIERARCHY\nROOT J0\n{\n  OFFSET 0 0 0\n  CHANNELS 3 Zrotation Xrotation Yrotation\n";
  for (int j = 1; j < 5; ++j) {
    text += "JOINT J" + std::to_string(j) + " { OFFSET 0 1 0 CHANNELS 3 Zrotation Xrotation Yrotation\n";
  }
  text += "End Site { OFFSET 0 1 0 }\n} } } } }\nMOTION\nFrames: " + std::to_string(frames) +
          "\nFrame Time: 0.033333\n";
  for (int f = 0; f < frames; ++f) {
    for (int v = 0; v < 15; ++v) text += std::to_string(f * 0.5 + v) + (v == 14 ? "\n" : " ");
  }
  return text;
}

std::string PollLine(int64_t done, int64_t total) {
  return "Import_IO_Check_For_Abort({40, " + std::to_string(done) + ", " + std::to_string(total) + ", 0, 0})";
}

// The polls while reading count tokens (the reader tests hold them to
// their figures); the builder polls after every fourth node.
TEST(BvhScene, PollsEveryFourthNode) {
  const std::string text = ChainFile(7);
  auto outcome = ImportText(text);
  ASSERT_EQ(outcome.result, 0);
  const int64_t size = static_cast<int64_t>(text.size());
  std::istringstream words(text);
  const auto tokens = std::distance(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
  auto polls = bvhtest::LogLinesStartingWith(outcome.log, "Import_IO_Check_For_Abort");
  // Six nodes: one poll, after the fourth, with twelve channels done.
  ASSERT_EQ(polls.size(), static_cast<size_t>(tokens / 40 + 1));
  const float step = static_cast<float>(size / 15);
  EXPECT_EQ(polls.back(), PollLine(static_cast<int64_t>(12.0f * step + static_cast<float>(size)), 2 * size));
}

}  // namespace
