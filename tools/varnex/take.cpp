// Captures a take from the host scene: reads every instance and samples its
// channels once per sample time, then converts units and axes as the
// export settings ask. Owns nothing beyond the returned record.
#include "take.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>

#include <glm/gtc/matrix_transform.hpp>

#include "scene_sampling.h"
#include "varnex/host.h"

namespace varnex {

namespace {

// Rotation of the three Euler angles (radians) in an instance order code:
// the first letter turns first, so XYZ is qz·qy·qx, as vxhost::EulerRotation.
glm::dquat EulerQuat(int32_t order, const glm::dvec3& angles) {
  static const int kAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
  const int* axes = kAxes[(order >= 0 && order <= 10 && order % 2 == 0) ? order / 2 : 0];
  glm::dquat q(1.0, 0.0, 0.0, 0.0);
  for (int i = 0; i < 3; ++i) {
    const double half = 0.5 * angles[axes[i]];
    glm::dquat turn(std::cos(half), 0.0, 0.0, 0.0);
    turn[axes[i]] = std::sin(half);  // glm::dquat indexes x, y, z, w
    q = turn * q;
  }
  return q;
}

// Channel values of one instance at every sample, entry by entry; a
// channel without keys gives its fallback.
std::vector<double> Sampled(const vxhost::Instance& instance, int entry, const std::vector<int32_t>& ticks,
                            double fallback) {
  const vxhost::Channel* channel = instance.channels[entry];
  if (!channel || channel->keys.empty()) return {fallback};
  std::vector<double> values(ticks.size());
  for (size_t i = 0; i < ticks.size(); ++i) values[i] = vxhost::EvaluateChannel(*channel, ticks[i]);
  if (std::all_of(values.begin(), values.end(), [&](double v) { return v == values[0]; })) values.resize(1);
  return values;
}

double At(const std::vector<double>& values, size_t i) { return values[values.size() == 1 ? 0 : i]; }

size_t Longest(const std::vector<double>* a, const std::vector<double>* b, const std::vector<double>* c) {
  return std::max({a->size(), b->size(), c->size()});
}

template <typename T>
void KeepOneWhenStill(std::vector<T>& values) {
  if (!values.empty() && std::all_of(values.begin(), values.end(), [&](const T& v) { return v == values[0]; }))
    values.erase(values.begin() + 1, values.end());  // no resize: GCC 12 warns falsely on its growth path
}

void SampleInstance(const vxhost::Instance& instance, const std::vector<int32_t>& ticks, TakeNode& node) {
  using namespace vxhost;
  const std::vector<double> t[3] = {Sampled(instance, kTranslateX, ticks, 0.0),
                                    Sampled(instance, kTranslateY, ticks, 0.0),
                                    Sampled(instance, kTranslateZ, ticks, 0.0)};
  const std::vector<double> s[3] = {Sampled(instance, kScaleX, ticks, 1.0), Sampled(instance, kScaleY, ticks, 1.0),
                                    Sampled(instance, kScaleZ, ticks, 1.0)};
  const std::vector<double> r[3] = {Sampled(instance, kRotateX, ticks, 0.0),
                                    Sampled(instance, kRotateY, ticks, 0.0),
                                    Sampled(instance, kRotateZ, ticks, 0.0)};
  node.translation.resize(Longest(&t[0], &t[1], &t[2]));
  for (size_t i = 0; i < node.translation.size(); ++i) node.translation[i] = {At(t[0], i), At(t[1], i), At(t[2], i)};
  node.scale.resize(Longest(&s[0], &s[1], &s[2]));
  for (size_t i = 0; i < node.scale.size(); ++i) node.scale[i] = {At(s[0], i), At(s[1], i), At(s[2], i)};
  node.rotation.resize(Longest(&r[0], &r[1], &r[2]));
  for (size_t i = 0; i < node.rotation.size(); ++i)
    node.rotation[i] = EulerQuat(instance.eulerOrder, {At(r[0], i), At(r[1], i), At(r[2], i)});
}

// Any quaternion the format can carry: unit length, or no turn.
glm::dquat Usable(const glm::dquat& q) {
  const double length = glm::length(q);
  if (!std::isfinite(length) || length < 1e-12) return glm::dquat(1.0, 0.0, 0.0, 0.0);
  return q / length;
}

// Units and axes of the export, applied to one node: lengths scale, and a
// Z-up scene turns upright by conjugating every local transform with the
// quarter turn about X, which turns the whole scene and nothing else.
void Convert(TakeNode& node, double lengthScale, bool zUp) {
  const glm::dquat upright = glm::angleAxis(-0.5 * std::numbers::pi, glm::dvec3(1.0, 0.0, 0.0));
  auto length = [&](glm::dvec3& v) { v = lengthScale * (zUp ? upright * v : v); };
  auto turn = [&](glm::dquat& q) { q = Usable(zUp ? upright * q * glm::conjugate(upright) : q); };
  auto axes = [&](glm::dvec3& v) {
    if (zUp) std::swap(v.y, v.z);
  };
  length(node.rest.translation);
  turn(node.rest.rotation);
  axes(node.rest.scale);
  for (glm::dvec3& v : node.translation) length(v);
  for (glm::dquat& q : node.rotation) turn(q);
  for (glm::dvec3& v : node.scale) axes(v);
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
  Take take;
  take.name = name;
  take.ticks = SampleTicks();
  take.ticksPerSecond = vxhost::kTicksPerSecond;
  const std::vector<const vxhost::Instance*> instances = vxhost::AllInstances();
  std::unordered_map<const vxhost::Instance*, int> index;
  index.reserve(instances.size());
  take.nodes.resize(instances.size());
  for (size_t i = 0; i < instances.size(); ++i) {
    const vxhost::Instance& instance = *instances[i];
    TakeNode& node = take.nodes[i];
    index[&instance] = int(i);
    node.name = instance.name;
    const auto parent = index.find(instance.parent);
    node.parent = parent == index.end() ? -1 : parent->second;
    node.drawsBone = DrawsBoneFromParent(instance);
    const bool animated = vxhost::IsAnimated(instance);
    if (animated) {
      node.rest.translation = glm::dvec3(instance.staticTransform[3]);
      if (!take.ticks.empty()) SampleInstance(instance, take.ticks, node);
      // The root's own motion, as the settings ask (an Acclaim unit length).
      const bool root = node.parent < 0 || !vxhost::IsAnimated(*instance.parent);
      if (root && settings.rootMotionScale != 1.0) {
        node.rest.translation *= settings.rootMotionScale;
        for (glm::dvec3& v : node.translation) v *= settings.rootMotionScale;
      }
    } else {
      const LocalPose pose = LocalPoseAt(instance, 0.0);
      node.rest = {pose.translation, Usable(pose.rotation), pose.scale};
    }
    Convert(node, settings.scale, settings.up == 'z');
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
