// The BVH writer: plans the hierarchy once (which nodes are joints, which
// End Sites, which fold into their children), then writes it and the frames.
#include "export/bvh_export.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <unordered_set>

#include <glm/gtc/matrix_access.hpp>

#include <varnex/host.h>

#include "io/atomic_file.h"
#include "scene/scene_sampling.h"
#include "scene/take_edits.h"

namespace varnex {

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;
constexpr char kAxisLetters[] = "XYZ";

struct BvhJoint {
  size_t node = 0;
  size_t depth = 0;
  bool root = false, endSite = false;
  bool positions = false;  // position channels: a ROOT's, or a translation that moves
  std::string name;
  std::array<int, 3> listed{2, 0, 1};  // the rotation channels, outermost first
  glm::dvec3 offset{0.0};
};

struct BvhPlan {
  std::vector<BvhJoint> joints;  // depth first, parents before children
  // The still nodes above a ROOT that group the skeleton: not written, their
  // place and turn carried by the ROOT's channels.
  std::vector<glm::dmat4> above;  // per node: the world transform of its folded ancestors
};

bool Moves(const TakeNode& node) { return !node.translation.empty() || !node.rotation.empty() || !node.scale.empty(); }

// BVH names are words: blanks and braces would end them.
std::string BvhName(const std::string& name, std::unordered_set<std::string>& used) {
  std::string word;
  for (unsigned char c : name) word += c <= ' ' || c == '{' || c == '}' ? '_' : char(c);
  if (word.empty()) word = "joint";
  std::string unique = word;
  for (int n = 2; !used.insert(unique).second; ++n) unique = word + "_" + std::to_string(n);
  return unique;
}

bool Scales(const TakeNode& node) {
  auto off = [](const glm::dvec3& s) { return glm::length(s - glm::dvec3(1.0)) > 1e-9; };
  return off(node.rest.scale) || std::any_of(node.scale.begin(), node.scale.end(), off);
}

std::array<int, 3> Listed(int32_t eulerOrder) {
  const std::optional<std::array<int, 3>> axes = vxhost::EulerOrderAxes(eulerOrder);
  if (!axes) return {2, 0, 1};
  return {(*axes)[2], (*axes)[1], (*axes)[0]};  // the host's first axis turns first: innermost
}

bool Plan(const Take& take, BvhPlan& plan, std::string& error) {
  const size_t n = take.nodes.size();
  std::vector<std::vector<size_t>> children(n);
  std::vector<bool> folded(n, false);
  plan.above.assign(n, glm::dmat4(1.0));
  std::vector<size_t> tops;
  for (size_t i = 0; i < n; ++i) {
    const TakeNode& node = take.nodes[i];
    if (Scales(node)) {
      error = "\"" + node.name + "\" scales, which a BVH cannot hold";
      return false;
    }
    if (node.parent >= 0) children[size_t(node.parent)].push_back(i);
  }
  for (size_t i = 0; i < n; ++i) {
    const TakeNode& node = take.nodes[i];
    const bool parentFolded = node.parent >= 0 && folded[size_t(node.parent)];
    if (node.parent >= 0 && !parentFolded) continue;
    if (parentFolded) plan.above[i] = plan.above[size_t(node.parent)] * Matrix(take.nodes[size_t(node.parent)].rest);
    // A still node above the skeleton that only groups it.
    folded[i] = !Moves(node) && !node.joint && !node.endEffector && !children[i].empty();
    if (!folded[i]) tops.push_back(i);
  }
  std::unordered_set<std::string> used;
  std::vector<std::pair<size_t, size_t>> stack;  // node, depth
  for (auto top = tops.rbegin(); top != tops.rend(); ++top) stack.push_back({*top, 0});
  while (!stack.empty()) {
    const auto [i, depth] = stack.back();
    stack.pop_back();
    const TakeNode& node = take.nodes[i];
    BvhJoint joint;
    joint.node = i;
    joint.depth = depth;
    joint.root = depth == 0;
    joint.endSite = !joint.root && children[i].empty() && node.translation.size() <= 1;
    joint.positions = joint.root || node.translation.size() > 1;
    if (!joint.endSite) joint.name = BvhName(node.name, used);
    joint.listed = Listed(node.eulerOrder);
    if (!joint.positions) joint.offset = LocalAt(node, 0).translation;
    plan.joints.push_back(joint);
    // A JOINT that ends a chain still closes with an End Site, which some readers need.
    if (!joint.endSite && children[i].empty()) {
      BvhJoint site;
      site.node = i;
      site.depth = depth + 1;
      site.endSite = true;
      plan.joints.push_back(site);
    }
    for (auto child = children[i].rbegin(); child != children[i].rend(); ++child) stack.push_back({*child, depth + 1});
  }
  return true;
}

// Nine significant digits: a frame's place back within far less than the
// figure's 1e-5, in every reader's doubles; no "-0".
void PutNumber(std::string& line, double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value == 0.0 || !std::isfinite(value) ? 0.0 : value);
  line += text;
}

void WriteHierarchy(std::FILE* out, const BvhPlan& plan) {
  std::fputs("HIERARCHY\n", out);
  std::vector<size_t> open;  // depths of the joints whose brace is open
  auto indent = [&](size_t depth) { return std::string(depth, '\t'); };
  auto closeTo = [&](size_t depth) {
    for (; !open.empty() && open.back() >= depth; open.pop_back())
      std::fprintf(out, "%s}\n", indent(open.back()).c_str());
  };
  for (const BvhJoint& joint : plan.joints) {
    closeTo(joint.depth);
    const std::string in = indent(joint.depth);
    std::string offset = in + "\tOFFSET ";
    for (int axis = 0; axis < 3; ++axis) {
      if (axis) offset += ' ';
      PutNumber(offset, joint.offset[axis]);
    }
    if (joint.endSite) {
      std::fprintf(out, "%sEnd Site\n%s{\n%s\n%s}\n", in.c_str(), in.c_str(), offset.c_str(), in.c_str());
      continue;
    }
    std::fprintf(out, "%s%s %s\n%s{\n%s\n%s\tCHANNELS %d", in.c_str(), joint.root ? "ROOT" : "JOINT",
                 joint.name.c_str(), in.c_str(), offset.c_str(), in.c_str(), joint.positions ? 6 : 3);
    if (joint.positions) std::fputs(" Xposition Yposition Zposition", out);
    for (int axis : joint.listed) std::fprintf(out, " %crotation", kAxisLetters[axis]);
    std::fputs("\n", out);
    open.push_back(joint.depth);
  }
  closeTo(0);
}

// Whether the take's samples are its frames, one per 1/rate from the first.
bool OnFrames(const Take& take, int32_t rate) {
  for (size_t k = 0; k < take.ticks.size(); ++k)
    if (take.ticks[k] != take.ticks.front() + FrameTick(int64_t(k), rate)) return false;
  return true;
}

void WriteMotion(std::FILE* out, const Take& take, const BvhPlan& plan, int32_t rate) {
  const size_t frames = std::max<size_t>(1, take.ticks.size());
  std::fprintf(out, "MOTION\nFrames: %zu\nFrame Time: %.6g\n", frames, 1.0 / rate);
  std::string line;
  for (size_t frame = 0; frame < frames; ++frame) {
    line.clear();
    for (const BvhJoint& joint : plan.joints) {
      if (joint.endSite) continue;
      const Transform local = LocalAt(take.nodes[joint.node], frame);
      glm::dvec3 place = local.translation;
      glm::dquat turn = local.rotation;
      if (joint.root) {
        const glm::dmat4& above = plan.above[joint.node];
        place = glm::dvec3(above * glm::dvec4(place, 1.0));
        turn = glm::quat_cast(glm::dmat3(above)) * turn;
      }
      const glm::dvec3 angles = ListedEulerAngles(turn, joint.listed);
      for (int axis = 0; axis < 3 && joint.positions; ++axis) PutNumber(line, place[axis]), line += ' ';
      for (int i = 0; i < 3; ++i) PutNumber(line, angles[i]), line += ' ';
    }
    if (!line.empty()) line.back() = '\n';
    std::fputs(line.c_str(), out);
  }
}

}  // namespace

bool IsBvhPath(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".bvh";
}

glm::dvec3 ListedEulerAngles(const glm::dquat& rotation, const std::array<int, 3>& listed) {
  const glm::dmat3 m = glm::mat3_cast(glm::normalize(rotation));
  auto r = [&m](int row, int column) { return m[column][row]; };  // glm is column-major
  const int i = listed[0], j = listed[1], k = listed[2];
  const double s = (j - i + 3) % 3 == 1 ? 1.0 : -1.0;  // X Y Z and its turns: +1
  const double cosMiddle = std::hypot(r(i, i), r(i, j));
  double outer = 0.0, middle = std::atan2(s * r(i, k), cosMiddle), inner = 0.0;
  if (cosMiddle > 1e-9) {
    outer = std::atan2(-s * r(j, k), r(k, k));
    inner = std::atan2(-s * r(i, j), r(i, i));
  } else {
    // Outer and inner turn about one axis: all of it goes to the outer.
    outer = std::atan2(s * r(k, j), r(j, j));
  }
  return kDegrees * glm::dvec3(outer, middle, inner);
}

bool WriteBvh(const std::string& path, const std::vector<Take>& takes, const ExportSettings&, std::string& error) {
  if (takes.size() != 1) {
    error = "a BVH file holds one take, not " + std::to_string(takes.size()) +
            "; several takes go into one glTF file (-o OUT.glb)";
    return false;
  }
  BvhPlan plan;
  if (!Plan(takes.front(), plan, error)) return false;
  if (plan.joints.empty()) {
    error = "the scene has no node to write";
    return false;
  }
  // A take sampled between its frames (keys off them) is written at its frames.
  const int32_t rate = takes.front().frameRate > 0 ? takes.front().frameRate : 30;
  Take resampled;
  const bool onFrames = OnFrames(takes.front(), rate);
  if (!onFrames) {
    resampled = takes.front();
    ResampleTake(resampled, rate);
  }
  const Take& take = onFrames ? takes.front() : resampled;
  OutputFile out;
  if (!out.Open(path, error)) return false;
  WriteHierarchy(out.stream(), plan);
  WriteMotion(out.stream(), take, plan, rate);  // a write error shows in the stream, which Commit checks
  return out.Commit(error);
}

}  // namespace varnex
