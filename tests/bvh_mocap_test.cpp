// Real BVH files against the meaning of the format: a small evaluator of its
// own reads each file and computes every joint's world position per frame
// (local = translation · rotations in the listed order, angles in degrees),
// and the reference host must place every imported instance there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>

#include "bvh_import_support.h"

namespace {

struct RefJoint {
  std::string name;
  int parent = -1;
  bool root = false;
  glm::dvec3 offset{0.0};
  std::vector<std::string> channels;
};

struct RefFile {
  std::vector<RefJoint> joints;  // [0] is the file's own top node
  int frames = 0;
  std::vector<double> values;
  size_t valuesPerFrame = 0;
};

class RefParser {
 public:
  explicit RefParser(std::istream& in) : in_(in) {}

  RefFile Parse() {
    RefFile file;
    file.joints.push_back(RefJoint{"top", -1, false, glm::dvec3(0.0), {}});
    Expect("HIERARCHY");
    std::string word = Next();
    while (word == "ROOT") {
      ParseJoint(file, 0, true);
      word = Next();
    }
    EXPECT_EQ(word, "MOTION");
    Expect("Frames:");
    file.frames = std::stoi(Next());
    Expect("Frame");
    Expect("Time:");
    Next();
    for (std::string value; in_ >> value;) file.values.push_back(std::stod(value));
    for (const auto& joint : file.joints) file.valuesPerFrame += joint.channels.size();
    return file;
  }

 private:
  std::string Next() {
    std::string word;
    in_ >> word;
    return word;
  }
  void Expect(const char* word) { EXPECT_EQ(Next(), word); }

  glm::dvec3 ReadOffset() {
    Expect("OFFSET");
    glm::dvec3 offset;
    for (int axis = 0; axis < 3; ++axis) offset[axis] = std::stod(Next());
    return offset;
  }

  void ParseJoint(RefFile& file, int parent, bool root) {
    RefJoint joint;
    joint.name = Next();
    joint.parent = parent;
    joint.root = root;
    Expect("{");
    joint.offset = ReadOffset();
    int index = static_cast<int>(file.joints.size());
    file.joints.push_back(joint);
    for (std::string word = Next(); word != "}"; word = Next()) {
      if (word == "CHANNELS") {
        int count = std::stoi(Next());
        for (int c = 0; c < count; ++c) file.joints[index].channels.push_back(Next());
      } else if (word == "JOINT") {
        ParseJoint(file, index, false);
      } else if (word == "End") {
        Expect("Site");
        Expect("{");
        RefJoint site;
        site.name = "End Site";
        site.parent = index;
        site.offset = ReadOffset();
        file.joints.push_back(site);
        Expect("}");
      } else {
        ADD_FAILURE() << "unexpected " << word;
        return;
      }
    }
  }

  std::istream& in_;
};

glm::dmat4 AxisRotation(char axis, double degrees) {
  const double radians = degrees * 3.14159265358979323846 / 180.0;
  const glm::dvec3 direction(axis == 'X', axis == 'Y', axis == 'Z');
  return glm::rotate(glm::dmat4(1.0), radians, direction);
}

// Rotations compose in the order the channels are listed; a joint whose
// rotation channels are not three different axes turns Z, then X, then Y.
glm::dmat4 LocalTransform(const RefJoint& joint, const double* values) {
  glm::dvec3 translation = joint.offset;
  std::string axes;
  double angle[3] = {0, 0, 0};
  for (size_t c = 0; c < joint.channels.size(); ++c) {
    const std::string& name = joint.channels[c];
    int axis = name[0] - 'X';
    if (name.substr(1) == "position") {
      translation[axis] = joint.root ? values[c] : joint.offset[axis] + values[c];
    } else {
      axes += name[0];
      angle[axis] = values[c];
    }
  }
  const bool threeAxes = axes.size() == 3 && axes.find('X') != std::string::npos &&
                         axes.find('Y') != std::string::npos && axes.find('Z') != std::string::npos;
  if (!threeAxes) axes = "ZXY";
  glm::dmat4 local = glm::translate(glm::dmat4(1.0), translation);
  for (char axis : axes) local = local * AxisRotation(axis, angle[axis - 'X']);
  return local;
}

double RestSize(const RefFile& file) {
  std::vector<glm::dvec3> rest(file.joints.size(), glm::dvec3(0.0));
  glm::dvec3 low(0.0), high(0.0);
  for (size_t j = 1; j < file.joints.size(); ++j) {
    rest[j] = rest[static_cast<size_t>(file.joints[j].parent)] + file.joints[j].offset;
    low = glm::min(low, rest[j]);
    high = glm::max(high, rest[j]);
  }
  return glm::length(high - low);
}

std::vector<std::string> MocapFiles() {
  std::vector<std::string> files;
  const std::filesystem::path folder = std::filesystem::path(VARNEX_SHARED_MOCAP) / "bvh";
  if (std::filesystem::is_directory(folder)) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().extension() == ".bvh") files.push_back(entry.path().filename().string());
    }
  }
  std::sort(files.begin(), files.end());
  if (files.empty()) files.push_back("");  // one case that skips
  return files;
}

class BvhMocap : public testing::TestWithParam<std::string> {};

TEST_P(BvhMocap, LandsWhereTheFormatSays) {
  if (GetParam().empty()) GTEST_SKIP() << "no mocap files at " << VARNEX_SHARED_MOCAP;
  const std::filesystem::path path = std::filesystem::path(VARNEX_SHARED_MOCAP) / "bvh" / GetParam();
  std::ifstream in(path, std::ios::binary);
  RefFile file = RefParser(in).Parse();
  const int frames = std::min<int>(file.frames, static_cast<int>(file.values.size() / file.valuesPerFrame));
  ASSERT_GT(frames, 0);

  vxhost::ResetHost();
  ASSERT_EQ(bvhtest::RunImport(path.string()), 0);
  EXPECT_TRUE(vxhost::HostErrors().empty());
  const auto instances = vxhost::AllInstances();
  ASSERT_EQ(instances.size(), file.joints.size());
  for (size_t j = 1; j < file.joints.size(); ++j) {
    EXPECT_EQ(instances[j]->name.rfind(file.joints[j].name, 0), 0u) << instances[j]->name;
  }
  // Frame f is at tick trunc(f * 4800 / rate). The host may have dropped keys
  // that changed nothing (a still take keeps one), but every key left must
  // sit on a frame.
  const int32_t rate = vxhost::FrameRate();
  ASSERT_GT(rate, 0);
  std::vector<int32_t> times;
  for (int f = 0; f < file.frames; ++f) {
    times.push_back(static_cast<int32_t>(static_cast<float>(f * 4800) / static_cast<float>(rate)));
  }
  for (int32_t keyTime : vxhost::KeyTimes()) {
    EXPECT_TRUE(std::binary_search(times.begin(), times.end(), keyTime)) << keyTime;
  }

  const double tolerance = 1e-4 * RestSize(file);
  std::vector<glm::dmat4> world(file.joints.size());
  double worst = 0.0;
  for (int f = 0; f < frames; ++f) {
    const double* values = &file.values[static_cast<size_t>(f) * file.valuesPerFrame];
    world[0] = glm::dmat4(1.0);
    for (size_t j = 1; j < file.joints.size(); ++j) {
      world[j] = world[static_cast<size_t>(file.joints[j].parent)] * LocalTransform(file.joints[j], values);
      values += file.joints[j].channels.size();
      const glm::dvec3 expected(world[j][3]);
      const glm::dvec3 actual = vxhost::WorldPosition(*instances[j], times[static_cast<size_t>(f)]);
      worst = std::max(worst, glm::length(actual - expected));
    }
    const glm::dvec3 top = vxhost::WorldPosition(*instances[0], times[static_cast<size_t>(f)]);
    worst = std::max(worst, glm::length(top));
  }
  EXPECT_LE(worst, tolerance) << "size " << RestSize(file);
}

INSTANTIATE_TEST_SUITE_P(RealFiles, BvhMocap, testing::ValuesIn(MocapFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param.empty() ? "none" : info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
