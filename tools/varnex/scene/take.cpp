// Captures a take from the host scene: reads every instance and samples its
// channels once per sample time, then converts units and axes as the
// export settings ask. Owns nothing beyond the returned record.
#include "scene/take.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <unordered_map>
#include <utility>

#include <glm/gtc/matrix_transform.hpp>

#include <varnex/host.h>

#include "scene/export_axes.h"
#include "scene/scene_sampling.h"
#include "scene/take_edits.h"

namespace varnex {

namespace {

// The half-angle turn (cosine, sine) of the last angle seen on each axis: an
// axis that holds still, or a channel with one key, costs no sine again.
// Keyed on the angle's bits, since -0 and 0 give sines of either sign.
struct HalfTurns {
  uint64_t angle[3] = {};
  double cos[3] = {1.0, 1.0, 1.0}, sin[3] = {};
};

// Rotation of the three Euler angles (radians) in an instance order code:
// the first axis turns first, so XYZ is qz·qy·qx, as vxhost::EulerRotation.
// The host refuses to set a code that names no order; should a scene hold
// one all the same, its rotation is not guessed: the node keeps its rest.
glm::dquat EulerQuat(const std::array<int, 3>& axes, const glm::dvec3& angles, HalfTurns& halves) {
  glm::dquat q(1.0, 0.0, 0.0, 0.0);
  for (const int axis : axes) {
    const uint64_t bits = std::bit_cast<uint64_t>(angles[axis]);
    if (bits != halves.angle[axis]) {
      const double half = 0.5 * angles[axis];
      halves.angle[axis] = bits;
      halves.cos[axis] = std::cos(half);
      halves.sin[axis] = std::sin(half);
    }
    glm::dquat turn(halves.cos[axis], 0.0, 0.0, 0.0);
    turn[axis] = halves.sin[axis];  // glm::dquat indexes x, y, z, w
    q = turn * q;
  }
  return q;
}

// Values of one channel entry of an instance at every sample, into row: as
// many as samples, or one when the channel holds still or has no keys (its
// fallback then).
void SampleEntry(const vxhost::Instance& instance, int entry, const std::vector<int32_t>& ticks, float fallback,
                 std::vector<float>& row) {
  const vxhost::Channel* channel = instance.channels[entry];
  if (!channel || channel->keys.empty()) {
    row.assign(1, fallback);
    return;
  }
  // One key holds its value at every time: most channels of a skeleton
  // (scale, and the offsets of joints that only turn) once optimised.
  if (channel->keys.size() == 1 && !ticks.empty()) {
    row.assign(1, channel->keys.ValueAt(0));
    return;
  }
  row.resize(ticks.size());
  vxhost::SampleChannel(*channel, ticks, row);
  if (std::all_of(row.begin(), row.end(), [&](float v) { return v == row[0]; })) row.resize(1);
}

double At(const std::vector<float>& row, size_t i) { return row[row.size() == 1 ? 0 : i]; }

template <typename T>
void KeepOneWhenStill(std::vector<T>& values) {
  if (!values.empty() && std::all_of(values.begin(), values.end(), [&](const T& v) { return v == values[0]; }))
    values.erase(values.begin() + 1, values.end());  // no resize: GCC 12 warns falsely on its growth path
}

// Rows of three channel entries (x, y, z), reused from instance to instance
// so that a take of many nodes allocates them once.
struct Rows {
  std::vector<float> row[3];
  size_t Longest() const { return std::max({row[0].size(), row[1].size(), row[2].size()}); }
  glm::dvec3 At(size_t i) const { return {varnex::At(row[0], i), varnex::At(row[1], i), varnex::At(row[2], i)}; }
};

void SampleRows(const vxhost::Instance& instance, int firstEntry, const std::vector<int32_t>& ticks, float fallback,
                Rows& rows) {
  for (int axis = 0; axis < 3; ++axis) SampleEntry(instance, firstEntry + axis, ticks, fallback, rows.row[axis]);
}

// Node arrays are filled, not first zeroed: a long take's are most of its memory.
void SampleInstance(const vxhost::Instance& instance, const std::vector<int32_t>& ticks, Rows& rows, TakeNode& node) {
  using namespace vxhost;
  SampleRows(instance, kTranslateX, ticks, 0.0f, rows);
  node.translation.reserve(rows.Longest());
  for (size_t i = 0; i < rows.Longest(); ++i) node.translation.push_back(rows.At(i));
  SampleRows(instance, kScaleX, ticks, 1.0f, rows);
  node.scale.reserve(rows.Longest());
  for (size_t i = 0; i < rows.Longest(); ++i) node.scale.push_back(rows.At(i));
  const std::optional<std::array<int, 3>> axes = EulerOrderAxes(instance.eulerOrder);
  if (!axes) {
    std::fprintf(stderr, "varnex: %s has Euler order code %d, which names no order; its rotation is left at rest\n",
                 instance.name.c_str(), int(instance.eulerOrder));
    return;
  }
  SampleRows(instance, kRotateX, ticks, 0.0f, rows);
  node.rotation.reserve(rows.Longest());
  HalfTurns halves;
  for (size_t i = 0; i < rows.Longest(); ++i) node.rotation.push_back(EulerQuat(*axes, rows.At(i), halves));
}

// Any quaternion the format can carry: unit length, or no turn.
glm::dquat Usable(const glm::dquat& q) {
  const double length = glm::length(q);
  if (!std::isfinite(length) || length < 1e-12) return glm::dquat(1.0, 0.0, 0.0, 0.0);
  return q / length;
}

// Units and axes of the export, applied to one node: lengths scale, and a
// Z-up scene turns upright (scene/export_axes.h), which turns the whole
// scene and nothing else.
// A Y-up scene's turn is none, and is left out: its signs of 1 change no bit.
void Convert(TakeNode& node, double lengthScale, const AxisTurn& turn) {
  const bool turns = turn.from != AxisTurn{}.from || turn.sign != AxisTurn{}.sign;
  auto length = [&](glm::dvec3& v) { v = lengthScale * (turns ? TurnVector(turn, v) : v); };
  auto rotation = [&](glm::dquat& q) { q = Usable(turns ? TurnRotation(turn, q) : q); };
  auto scale = [&](glm::dvec3& v) {
    if (turns) v = TurnScale(turn, v);
  };
  length(node.rest.translation);
  rotation(node.rest.rotation);
  scale(node.rest.scale);
  for (glm::dvec3& v : node.translation) length(v);
  for (glm::dquat& q : node.rotation) rotation(q);
  for (glm::dvec3& v : node.scale) scale(v);
  node.eulerOrder = TurnEulerOrder(turn, node.eulerOrder);
}

}  // namespace

glm::dmat4 Matrix(const Transform& transform) {
  glm::dmat4 m = glm::mat4_cast(transform.rotation);
  m[0] *= transform.scale.x;
  m[1] *= transform.scale.y;
  m[2] *= transform.scale.z;
  m[3] = glm::dvec4(transform.translation, 1.0);
  return m;
}

Take CaptureTake(const std::string& name, const ExportSettings& settings) {
  Take take = CaptureTakeAt(name, SampleTicks(), settings);
  if (settings.edits.Any()) ApplyTakeEdits(take, settings.edits);
  return take;
}

Take CaptureTakeAt(const std::string& name, std::vector<int32_t> ticks, const ExportSettings& settings) {
  Take take;
  take.name = name;
  take.ticks = std::move(ticks);
  take.ticksPerSecond = vxhost::kTicksPerSecond;
  take.frameRate = vxhost::FrameRate();
  const std::vector<const vxhost::Instance*> instances = vxhost::AllInstances();
  std::unordered_map<const vxhost::Instance*, int> index;
  index.reserve(instances.size());
  Rows rows;
  const AxisTurn turn = ExportAxisTurn(settings.up);
  take.nodes.resize(instances.size());
  for (size_t i = 0; i < instances.size(); ++i) {
    const vxhost::Instance& instance = *instances[i];
    TakeNode& node = take.nodes[i];
    index[&instance] = int(i);
    node.name = instance.name;
    const auto parent = index.find(instance.parent);
    node.parent = parent == index.end() ? -1 : parent->second;
    node.drawsBone = DrawsBoneFromParent(instance);
    node.joint = instance.jointNode;
    node.endEffector = instance.endEffector;
    node.eulerOrder = instance.eulerOrder;
    const bool animated = vxhost::IsAnimated(instance);
    if (animated) {
      node.rest.translation = glm::dvec3(instance.staticTransform[3]);
      if (!take.ticks.empty()) SampleInstance(instance, take.ticks, rows, node);
      const TranslationReading reading = ReadTranslation(instance, settings);
      node.rest.translation *= reading.restFactor;
      for (glm::dvec3& v : node.translation) v = v * reading.factor - reading.offset;
    } else {
      const LocalPose pose = LocalPoseAt(instance, 0.0);
      node.rest = {pose.translation, Usable(pose.rotation), pose.scale};
    }
    Convert(node, settings.scale, turn);
    // q and -q turn alike; keep neighbours on one side so that
    // interpolation between them takes the short way.
    for (size_t k = 1; k < node.rotation.size(); ++k)
      if (glm::dot(node.rotation[k], node.rotation[k - 1]) < 0.0) node.rotation[k] = -node.rotation[k];
    KeepOneWhenStill(node.translation);
    KeepOneWhenStill(node.rotation);
    KeepOneWhenStill(node.scale);
  }
  return take;
}

Transform LocalAt(const TakeNode& node, size_t sample) {
  Transform local = node.rest;
  if (!node.translation.empty()) local.translation = node.translation[std::min(sample, node.translation.size() - 1)];
  if (!node.rotation.empty()) local.rotation = node.rotation[std::min(sample, node.rotation.size() - 1)];
  if (!node.scale.empty()) local.scale = node.scale[std::min(sample, node.scale.size() - 1)];
  return local;
}

void WorldTransforms(const Take& take, size_t sample, std::vector<glm::dmat4>& world) {
  world.resize(take.nodes.size());
  for (size_t i = 0; i < take.nodes.size(); ++i) {
    const TakeNode& node = take.nodes[i];
    const glm::dmat4 local = Matrix(LocalAt(node, sample));
    world[i] = node.parent < 0 ? local : world[size_t(node.parent)] * local;
  }
}

double RestSize(const Take& take) {
  std::vector<glm::dmat4> world(take.nodes.size());
  for (size_t i = 0; i < take.nodes.size(); ++i) {
    const TakeNode& node = take.nodes[i];
    const glm::dmat4 local = Matrix(node.rest);
    world[i] = node.parent < 0 ? local : world[size_t(node.parent)] * local;
  }
  glm::dvec3 lo(INFINITY), hi(-INFINITY);
  for (const glm::dmat4& m : world) {
    const glm::dvec3 p(m[3]);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
    lo = glm::min(lo, p);
    hi = glm::max(hi, p);
  }
  const double size = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
  return std::isfinite(size) && size > 0.0 ? size : 1.0;
}

bool SameHierarchy(const Take& first, const Take& other, std::string& difference) {
  if (other.nodes.size() != first.nodes.size()) {
    difference = "it has " + std::to_string(other.nodes.size()) + " nodes, not " + std::to_string(first.nodes.size());
    return false;
  }
  for (size_t i = 0; i < first.nodes.size(); ++i) {
    const TakeNode& a = first.nodes[i];
    const TakeNode& b = other.nodes[i];
    // A still top node is the one an import names after its file.
    const bool fileNode = a.parent < 0 && a.translation.empty() && a.rotation.empty() && a.scale.empty();
    if (a.name != b.name && !fileNode) {
      difference = "its node " + std::to_string(i) + " is \"" + b.name + "\", not \"" + a.name + "\"";
      return false;
    }
    if (a.parent != b.parent) {
      difference = "\"" + b.name + "\" has another parent";
      return false;
    }
    const double offset = glm::length(a.rest.translation - b.rest.translation);
    if (!(offset <= 1e-6 * std::max(1.0, glm::length(a.rest.translation)))) {
      difference = "\"" + b.name + "\" has another offset";
      return false;
    }
  }
  return true;
}

}  // namespace varnex
