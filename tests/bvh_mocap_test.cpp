// Real BVH files against the meaning of the format: a small evaluator of its
// own reads each file and computes every joint's world position per frame
// (local = translation · rotations in the listed order, angles in degrees),
// and the reference host must place every imported instance there. The
// exports' default reading must match the evaluator's where position
// channels replace the offsets, for the files whose channels repeat them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>

#include "support/plugin_calls.h"
#include "support/real_files.h"
#include "scene/take.h"
#include "scene/take_meaning.h"
#include "varnex/host.h"

namespace {

struct RefJoint {
  std::string name;
  int parent = -1;  // 0, the file's own top node, for a root
  glm::dvec3 offset{0.0};
  std::vector<std::string> channels;
};

// The joints in file order after the top node; leaves the stream at the
// first motion value. Real files are well formed: an OFFSET and CHANNELS
// belong to the joint opened last.
std::vector<RefJoint> ReadHierarchy(std::istream& in, int& frames) {
  std::vector<RefJoint> joints(1);  // the top node
  std::vector<int> open;
  std::string word;
  while (in >> word && word != "MOTION") {
    if (word == "ROOT" || word == "JOINT" || word == "End") {
      in >> word;
      joints.emplace_back().name = word == "Site" ? "End Site" : word;
      joints.back().parent = open.empty() ? 0 : open.back();
    } else if (word == "{") {
      open.push_back(static_cast<int>(joints.size()) - 1);
    } else if (word == "}") {
      open.pop_back();
    } else if (word == "OFFSET") {
      in >> joints.back().offset.x >> joints.back().offset.y >> joints.back().offset.z;
    } else if (word == "CHANNELS") {
      size_t count = 0;
      in >> count;
      joints.back().channels.resize(count);
      for (std::string& channel : joints.back().channels) in >> channel;
    }
  }
  in >> word >> frames >> word >> word >> word;  // Frames: N Frame Time: T
  return joints;
}

// A root's position channels replace its offset, a joint's add to it (or
// replace it too, in the other reading); rotations compose in the listed
// order, and a joint whose rotation channels are not three different axes
// turns Z, then X, then Y.
glm::dmat4 LocalTransform(const RefJoint& joint, const double* values, bool replace) {
  glm::dvec3 translation = joint.offset;
  std::string axes;
  double angle[3] = {0, 0, 0};
  for (size_t c = 0; c < joint.channels.size(); ++c) {
    const int axis = joint.channels[c][0] - 'X';
    if (joint.channels[c].substr(1) == "position") {
      translation[axis] = (joint.parent == 0 || replace ? 0.0 : joint.offset[axis]) + values[c];
    } else {
      axes += joint.channels[c][0];
      angle[axis] = values[c];
    }
  }
  std::string sorted = axes;
  std::sort(sorted.begin(), sorted.end());
  if (sorted != "XYZ") axes = "ZXY";
  glm::dmat4 local = glm::translate(glm::dmat4(1.0), translation);
  for (char a : axes) local = glm::rotate(local, glm::radians(angle[a - 'X']), glm::dvec3(a == 'X', a == 'Y', a == 'Z'));
  return local;
}

std::vector<std::string> MocapFiles() {
  std::vector<std::string> files = vxtest::ImportableFiles(std::filesystem::path(VARNEX_SHARED_MOCAP) / "bvh");
  if (files.empty()) files.push_back("");  // one case that skips
  return files;
}

class BvhMocap : public testing::TestWithParam<std::string> {};

TEST_P(BvhMocap, LandsWhereTheFormatSays) {
  if (GetParam().empty()) GTEST_SKIP() << "no mocap files at " << VARNEX_SHARED_MOCAP;
  std::ifstream in(GetParam(), std::ios::binary);
  int frames = 0;
  const std::vector<RefJoint> joints = ReadHierarchy(in, frames);
  std::vector<double> values;
  for (double value; in >> value;) values.push_back(value);
  size_t perFrame = 0;
  for (const RefJoint& joint : joints) perFrame += joint.channels.size();
  frames = std::min(frames, static_cast<int>(values.size() / perFrame));
  ASSERT_GT(frames, 0);

  ASSERT_EQ(vxtest::ImportIntoFreshHost(GetParam()), 0);
  EXPECT_TRUE(vxhost::HostErrors().empty());
  const auto instances = vxhost::AllInstances();
  ASSERT_EQ(instances.size(), joints.size());
  // Names may have been made unique; the size of the rest pose sets the bound.
  glm::dvec3 low(0.0), high(0.0);
  std::vector<glm::dvec3> rest(joints.size(), glm::dvec3(0.0));
  for (size_t j = 1; j < joints.size(); ++j) {
    EXPECT_EQ(instances[j]->name.rfind(joints[j].name, 0), 0u) << instances[j]->name;
    rest[j] = rest[joints[j].parent] + joints[j].offset;
    low = glm::min(low, rest[j]);
    high = glm::max(high, rest[j]);
  }
  // Frame f is at tick trunc(f * 4800 / rate).
  const int32_t rate = vxhost::FrameRate();
  ASSERT_GT(rate, 0);
  // The exports' reading, in the file's axes and units.
  varnex::ExportSettings reading = varnex::DecideMeaning({}, 1.0).settings;
  const std::string name = std::filesystem::path(GetParam()).filename().string();
  EXPECT_EQ(reading.replaceJointPositions, name == "bandainamco2_wave_left_hand_active_011.bvh" ||
                                               name == "truebones_elephant_idle1.bvh");
  reading.up = 'y';
  reading.scale = 1.0;
  const varnex::Take take = varnex::CaptureTake("take", reading);
  std::vector<glm::dmat4> world(joints.size(), glm::dmat4(1.0)), read(joints.size(), glm::dmat4(1.0)), exported;
  double worst = 0.0, worstRead = 0.0;
  for (int f = 0; f < frames; ++f) {
    const double* value = &values[static_cast<size_t>(f) * perFrame];
    const int32_t ticks = static_cast<int32_t>(static_cast<float>(f * 4800) / static_cast<float>(rate));
    worst = std::max(worst, glm::length(vxhost::WorldPosition(*instances[0], ticks)));
    const auto sample = std::lower_bound(take.ticks.begin(), take.ticks.end(), ticks);
    ASSERT_TRUE(sample != take.ticks.end() && *sample == ticks);
    varnex::WorldTransforms(take, size_t(sample - take.ticks.begin()), exported);
    for (size_t j = 1; j < joints.size(); ++j) {
      world[j] = world[joints[j].parent] * LocalTransform(joints[j], value, false);
      read[j] = read[joints[j].parent] * LocalTransform(joints[j], value, reading.replaceJointPositions);
      value += joints[j].channels.size();
      worst = std::max(worst, glm::length(vxhost::WorldPosition(*instances[j], ticks) - glm::dvec3(world[j][3])));
      worstRead = std::max(worstRead, glm::length(glm::dvec3(exported[j][3]) - glm::dvec3(read[j][3])));
    }
  }
  EXPECT_LE(worst, 1e-4 * glm::length(high - low));
  EXPECT_LE(worstRead, 1e-4 * glm::length(high - low));
}

INSTANTIATE_TEST_SUITE_P(RealFiles, BvhMocap, testing::ValuesIn(MocapFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param.empty() ? std::string("none") : vxtest::TestNameOf(info.param);
                         });

}  // namespace
