// The imported scene means what the ASF/AMC pair means: an evaluator written
// from the format's definition (not from the importer) computes every bone's
// start and every chain's end at every frame, and the host's evaluated world
// positions must agree.
#include <glm/gtc/matrix_transform.hpp>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <map>
#include <memory>
#include <numbers>

#include "acclaim_support.h"

namespace acclaim_test {
namespace {

// -- A plain reading of the two formats

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  for (char c : line) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '(' || c == ')' || c == ',') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word.push_back(c);
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

struct Bone {
  std::string name;
  glm::dvec3 direction{0.0};
  double length = 0;
  glm::dvec3 axis{0.0};
  std::string axisOrder = "xyz";
  std::vector<std::string> dofs;
  std::vector<Bone*> children;
  Bone* parent = nullptr;
};

struct Skeleton {
  std::string name = "Default Skeleton";
  double unitLength = 1;
  std::vector<std::unique_ptr<Bone>> bones;  // bones[0] is the root
  std::map<std::string, Bone*> byName;
};

Skeleton ReadSkeleton(const std::string& text) {
  Skeleton skeleton;
  skeleton.bones.push_back(std::make_unique<Bone>());
  Bone* root = skeleton.bones[0].get();
  std::string section;
  Bone* bone = nullptr;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> words = Words(line);
    if (words.empty() || words[0][0] == '#') continue;
    std::string key = Lower(words[0]);
    if (key[0] == ':') {
      section = key;
      if (key == ":name") skeleton.name = words.at(1);
      continue;
    }
    if (section == ":units" && key == "length") skeleton.unitLength = std::stod(words.at(1));
    Bone* target = section == ":root" ? root : bone;
    if (section == ":root" || section == ":bonedata") {
      if (key == "begin") {
        skeleton.bones.push_back(std::make_unique<Bone>());
        bone = skeleton.bones.back().get();
      } else if (key == "name") {
        bone->name = words.at(1);
        skeleton.byName[bone->name] = bone;
      } else if (key == "direction") {
        bone->direction = {std::stod(words.at(1)), std::stod(words.at(2)), std::stod(words.at(3))};
      } else if (key == "length") {
        bone->length = std::stod(words.at(1));
      } else if (key == "axis" && section == ":root") {
        root->axisOrder = Lower(words.at(1));
      } else if (key == "axis") {
        bone->axis = {std::stod(words.at(1)), std::stod(words.at(2)), std::stod(words.at(3))};
        bone->axisOrder = Lower(words.at(4));
      } else if (key == "orientation") {
        root->axis = {std::stod(words.at(1)), std::stod(words.at(2)), std::stod(words.at(3))};
      } else if (key == "dof" || key == "order") {
        for (size_t i = 1; i < words.size(); i++) target->dofs.push_back(Lower(words[i]));
      }
    }
    if (section == ":hierarchy" && key != "begin" && key != "end") {
      Bone* parent = key == "root" ? root : skeleton.byName.at(words[0]);
      for (size_t i = 1; i < words.size(); i++) {
        Bone* child = skeleton.byName.at(words[i]);
        child->parent = parent;
        parent->children.push_back(child);
      }
    }
  }
  root->name = skeleton.name;
  return skeleton;
}

struct Motion {
  double angleUnit = 1;  // radians per file unit
  std::vector<std::map<std::string, std::vector<double>>> frames;
};

Motion ReadMotion(const std::string& text) {
  Motion motion;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> words = Words(line);
    if (words.empty() || words[0][0] == '#') continue;
    std::string key = Lower(words[0]);
    if (key == ":degrees") motion.angleUnit = std::numbers::pi / 180;
    if (key == ":radians") motion.angleUnit = 1;
    if (key[0] == ':') continue;
    if (std::isdigit(static_cast<unsigned char>(key[0]))) {
      motion.frames.resize(std::stoul(key));
      continue;
    }
    std::vector<double>& values = motion.frames.back()[key == "root" ? "root" : words[0]];
    for (size_t i = 1; i < words.size(); i++) values.push_back(std::stod(words[i]));
  }
  return motion;
}

// -- The format's meaning

glm::dmat3 Turn(char axis, double angle) {
  glm::dvec3 about(axis == 'x', axis == 'y', axis == 'z');
  return glm::dmat3(glm::rotate(glm::dmat4(1.0), angle, about));
}

struct Pose {
  std::map<const Bone*, glm::dvec3> start;
  std::map<const Bone*, glm::dvec3> end;
};

// A bone turns by C * M * C^-1 relative to its parent, C from its axis angles
// in its axis order, M from its rotation DOFs with the first listed turning
// first; it starts where its parent ends.
Pose Evaluate(const Skeleton& skeleton, const Motion& motion, size_t frame) {
  Pose pose;
  std::map<const Bone*, glm::dmat3> world;
  std::vector<const Bone*> order = {skeleton.bones[0].get()};
  for (size_t i = 0; i < order.size(); i++) {
    for (const Bone* child : order[i]->children) order.push_back(child);
  }
  for (const Bone* bone : order) {
    const bool isRoot = bone == skeleton.bones[0].get();
    const auto& values = motion.frames.at(frame);
    auto found = values.find(isRoot ? "root" : bone->name);
    glm::dmat3 turn(1.0);
    glm::dvec3 shift(0.0);
    for (size_t i = 0; i < bone->dofs.size(); i++) {
      double value = found != values.end() && i < found->second.size() ? found->second[i] : 0.0;
      const std::string& dof = bone->dofs[i];
      if (dof[0] == 'r') turn = Turn(dof[1], value * motion.angleUnit) * turn;
      if (dof[0] == 't') shift[dof[1] - 'x'] = value;
    }
    glm::dmat3 axis(1.0);
    for (char c : bone->axisOrder) axis = Turn(c, bone->axis[c - 'x'] * motion.angleUnit) * axis;
    glm::dmat3 local = axis * turn * glm::inverse(axis);
    if (isRoot) {
      world[bone] = local;
      pose.start[bone] = shift;
    } else {
      const Bone* parent = bone->parent;
      world[bone] = world[parent] * local;
      pose.start[bone] = pose.end[parent];
    }
    pose.end[bone] = pose.start[bone] + world[bone] * (bone->direction * bone->length * skeleton.unitLength);
  }
  return pose;
}

// Imports the pair and holds every instance against the evaluator at every frame.
void CheckPair(const std::string& asfPath, const std::string& asfText, const std::string& amcText) {
  vxhost::ResetHost();
  ASSERT_EQ(vxtest::Import(asfPath), 0) << vxhost::AllMessageText();
  ASSERT_TRUE(vxhost::HostErrors().empty()) << vxhost::HostErrors().front();
  Skeleton skeleton = ReadSkeleton(asfText);
  Motion motion = ReadMotion(amcText);
  double size = 0;
  for (const auto& bone : skeleton.bones) size += bone->length * skeleton.unitLength;
  const double tolerance = 1e-4 * std::max(size, 1.0);

  std::vector<int32_t> times = vxhost::KeyTimes();
  ASSERT_EQ(times.size(), motion.frames.size());
  double worst = 0;
  for (size_t f = 0; f < motion.frames.size(); f++) {
    Pose pose = Evaluate(skeleton, motion, f);
    for (const auto& [bone, start] : pose.start) {
      const vxhost::Instance& instance = Instance(bone->name);
      glm::dvec3 at = vxhost::WorldPosition(instance, times[f]);
      worst = std::max(worst, glm::length(at - start));
      if (bone->children.empty()) {
        ASSERT_EQ(instance.children.size(), 1u) << bone->name;
        const vxhost::Instance& effector = *instance.children[0];
        EXPECT_TRUE(effector.endEffector);
        worst = std::max(worst, glm::length(vxhost::WorldPosition(effector, times[f]) - pose.end.at(bone)));
      }
    }
    ASSERT_LE(worst, tolerance) << "frame " << f + 1;
  }
  EXPECT_EQ(vxhost::AllInstances().size(), skeleton.bones.size() + [&] {
    size_t leaves = 0;
    for (const auto& bone : skeleton.bones) leaves += bone->children.empty() && (bone->parent || bone == skeleton.bones[0]);
    return leaves;
  }());
}

// Turned axes in every order, a turned and reordered root, radians, DOF
// orders other than xyz, and a bone whose rotation repeats nothing.
const std::string kTwistedAsf = R"(:version 1.10
:name Twisted
:units
  mass 1.0
  length 0.8
  angle rad
:root
  order TX TY TZ RZ RX RY
  axis ZYX
  position 0 0 0
  orientation 0.3 -0.2 0.5
)" + BoneData({{"spine", "0 1 0", "3", "0.2 0.4 -0.6 XZY", "rz ry rx"},
                           {"neck", "0.6 0.8 0", "1", "-0.7 0.1 0.3 YZX", "ry rx"},
                           {"arm", "1 0 0", "2", "0.5 0.5 0.5 YXZ", "rx"},
                           {"hand", "0 0 -1", "0.5", "1.0 -0.4 0.2 ZXY", "rx ry rz"},
                           {"leg", "0 -1 0", "4", "0.1 0.9 -0.3 ZYX", "rz"}}) +
                R"(:hierarchy
  begin
    root spine leg
    spine neck arm
    arm hand
  end
)";

std::string TwistedAmc() {
  std::string amc = "#!OML:ASF twisted.asf\n:FULLY-SPECIFIED\n:RADIANS\n";
  for (int f = 1; f <= 12; f++) {
    double s = 0.1 * f;
    auto num = [](double v) { return std::to_string(v); };
    amc += std::to_string(f) + "\n";
    amc += "root " + num(s) + " " + num(2 - s) + " " + num(0.5 * s) + " " + num(std::sin(s)) + " " +
           num(0.4 - s) + " " + num(s * s) + "\n";
    amc += "spine " + num(0.3 * s) + " " + num(-0.5 * s) + " " + num(std::cos(s)) + "\n";
    amc += "neck " + num(1.2 - s) + " " + num(0.2) + "\n";
    amc += "arm " + num(-1.4 * s) + "\n";
    amc += "hand " + num(s) + " " + num(-s) + " " + num(0.7) + "\n";
    amc += "leg " + num(2.5 * s - 1) + "\n";
  }
  return amc;
}

// In radians, then in degrees with the unit length.
TEST(AcclaimScene, TwistedSkeletonMatchesTheFormat) {
  ScratchDir dir;
  for (bool degrees : {false, true}) {
    SCOPED_TRACE(degrees ? "degrees" : "radians");
    std::string asf = kTwistedAsf;
    std::string amc = TwistedAmc();
    if (degrees) {
      asf.replace(asf.find("angle rad"), 9, "angle deg");
      amc.replace(amc.find(":RADIANS"), 8, ":DEGREES");
    }
    dir.Write("twisted.amc", amc);
    CheckPair(dir.Write("twisted.asf", asf), asf, amc);
  }
}

TEST(AcclaimScene, SharedMocapPairsMatchTheFormat) {
  fs::path root = fs::path(VARNEX_SHARED_MOCAP) / "acclaim";
  if (!fs::exists(root)) GTEST_SKIP() << "no shared motion-capture files at " << root;
  int pairs = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.path().extension() != ".amc") continue;
    fs::path asf = entry.path();
    asf.replace_extension(".asf");
    if (!fs::exists(asf)) continue;
    SCOPED_TRACE(asf.string());
    CheckPair(asf.string(), vxtest::ReadFile(asf), vxtest::ReadFile(entry.path()));
    pairs++;
  }
  EXPECT_GT(pairs, 0);
}

}  // namespace
}  // namespace acclaim_test
