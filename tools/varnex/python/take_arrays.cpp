// Copies out of a captured take. World positions compose the same world
// transforms as the positions CSV, so both give the same numbers.
#include "python/take_arrays.h"

#include <vector>

namespace varnex {

size_t FrameCount(const Take& take) { return take.ticks.empty() ? 1 : take.ticks.size(); }

void FillTimes(const Take& take, double* out) {
  if (take.ticks.empty()) out[0] = 0.0;
  for (size_t f = 0; f < take.ticks.size(); ++f) out[f] = double(take.ticks[f]) / take.ticksPerSecond;
}

void FillOffsets(const Take& take, double* out) {
  for (const TakeNode& node : take.nodes)
    for (int axis = 0; axis < 3; ++axis) *out++ = node.rest.translation[axis];
}

namespace {

// One part of every node at every frame: the rest value when the node never
// moves, its one value when it holds still.
template <typename Value, typename Write>
void FillPart(const Take& take, std::vector<Value> TakeNode::*part, Value Transform::*restPart, size_t width,
              double* out, Write write) {
  const size_t frames = FrameCount(take), nodes = take.nodes.size();
  for (size_t j = 0; j < nodes; ++j) {
    const TakeNode& node = take.nodes[j];
    const std::vector<Value>& values = node.*part;
    for (size_t f = 0; f < frames; ++f) {
      const Value& value = values.empty() ? node.rest.*restPart : values[std::min(f, values.size() - 1)];
      write(value, out + (f * nodes + j) * width);
    }
  }
}

}  // namespace

void FillLocalTranslations(const Take& take, double* out) {
  FillPart(take, &TakeNode::translation, &Transform::translation, 3, out, [](const glm::dvec3& v, double* to) {
    to[0] = v.x;
    to[1] = v.y;
    to[2] = v.z;
  });
}

void FillLocalRotations(const Take& take, double* out) {
  FillPart(take, &TakeNode::rotation, &Transform::rotation, 4, out, [](const glm::dquat& q, double* to) {
    to[0] = q.x;
    to[1] = q.y;
    to[2] = q.z;
    to[3] = q.w;
  });
}

void FillWorldPositions(const Take& take, double* out) {
  std::vector<glm::dmat4> world;
  for (size_t f = 0; f < FrameCount(take); ++f) {
    WorldTransforms(take, f, world);
    for (const glm::dmat4& m : world) {
      *out++ = m[3].x;
      *out++ = m[3].y;
      *out++ = m[3].z;
    }
  }
}

}  // namespace varnex
