// Evaluation of the scene at a time: channel curves, and the local and world
// transforms of instances (channels drive an animated instance; any other
// keeps its static transform).
#include <unordered_map>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>

#include "maths.h"
#include "scene.h"
#include "varnex/keyframes.h"

namespace vxhost {

bool IsAnimated(const Instance& instance) {
  for (const Channel* channel : instance.channels)
    if (channel && !channel->keys.empty()) return true;
  return false;
}

// Cubic Hermite between neighbouring keys; a side whose slope was never set
// takes the straight line's slope, so keys without slopes join linearly.
// The curve code is shared with optimisation and reduction (keycurve.cpp).
float EvaluateChannel(const Channel& channel, double ticks) {
  return static_cast<float>(InterpolateKeys(channel.keys, ticks));
}

void SampleChannel(const Channel& channel, std::span<const int32_t> ticks, std::span<float> values) {
  SampleKeys(channel.keys, ticks, values);
}

glm::dmat4 EulerRotation(int32_t eulerOrder, double x, double y, double z) {
  AxisOrder order{0, 1, 2};
  AxisOrderOfMatrixCode(eulerOrder * 2, &order);  // the instance code is half the matrix code
  return glm::dmat4(RotationFromEuler(order, glm::dvec3(x, y, z)));
}

std::optional<std::array<int, 3>> EulerOrderAxes(int32_t eulerOrder) {
  AxisOrder order{};
  if (eulerOrder < 0 || eulerOrder > 10 || !AxisOrderOfMatrixCode(eulerOrder * 2, &order)) return std::nullopt;
  return std::array<int, 3>{order.first, order.second, order.third};
}

const char* EulerOrderLetters(int32_t eulerOrder) {
  // Spelled out from the axes once, so that the axis table stays the only one.
  static const std::array<std::array<char, 4>, 6> kLetters = [] {
    std::array<std::array<char, 4>, 6> letters{};
    for (int32_t code = 0; code <= 10; code += 2)
      for (int i = 0; i < 3; ++i) letters[size_t(code / 2)][size_t(i)] = char('X' + (*EulerOrderAxes(code))[size_t(i)]);
    return letters;
  }();
  return EulerOrderAxes(eulerOrder) ? kLetters[size_t(eulerOrder / 2)].data() : nullptr;
}

glm::dmat4 LocalTransform(const Instance& instance, double ticks) {
  if (!IsAnimated(instance)) return instance.staticTransform;
  auto value = [&](int entry, double none) {
    const Channel* channel = instance.channels[entry];
    return channel && !channel->keys.empty() ? static_cast<double>(EvaluateChannel(*channel, ticks)) : none;
  };
  const glm::dvec3 translation(value(kTranslateX, 0), value(kTranslateY, 0), value(kTranslateZ, 0));
  const glm::dvec3 scale(value(kScaleX, 1), value(kScaleY, 1), value(kScaleZ, 1));
  const glm::dmat4 rotation =
      EulerRotation(instance.eulerOrder, value(kRotateX, 0), value(kRotateY, 0), value(kRotateZ, 0));
  return glm::scale(glm::translate(glm::dmat4(1.0), translation) * rotation, scale);
}

glm::dmat4 WorldTransform(const Instance& instance, double ticks) {
  glm::dmat4 world = LocalTransform(instance, ticks);
  for (const Instance* up = instance.parent; up; up = up->parent) world = LocalTransform(*up, ticks) * world;
  return world;
}

std::vector<glm::dmat4> WorldTransforms(const std::vector<const Instance*>& instances, double ticks) {
  std::unordered_map<const Instance*, size_t> index;
  index.reserve(instances.size());
  std::vector<glm::dmat4> world(instances.size());
  for (size_t i = 0; i < instances.size(); ++i) {
    const Instance& instance = *instances[i];
    index[&instance] = i;
    const auto parent = index.find(instance.parent);
    const glm::dmat4 local = LocalTransform(instance, ticks);
    if (parent != index.end()) world[i] = world[parent->second] * local;
    else world[i] = instance.parent ? WorldTransform(*instance.parent, ticks) * local : local;
  }
  return world;
}

glm::dvec3 WorldPosition(const Instance& instance, double ticks) {
  return glm::dvec3(WorldTransform(instance, ticks)[3]);
}

}  // namespace vxhost
