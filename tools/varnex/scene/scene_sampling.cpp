// Samples the host scene for the exporters; reads the scene only.
#include "scene/scene_sampling.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <unordered_map>

#include <glm/gtc/matrix_access.hpp>

namespace varnex {

std::vector<int32_t> SampleTicks() {
  const std::vector<int32_t> keyTimes = vxhost::KeyTimes();
  int32_t first = 0, last = 0;
  const int32_t rate = vxhost::FrameRate();
  if (!vxhost::TakeRange(&first, &last)) return keyTimes;
  // The take's span and its frames, ascending as they are made, then merged
  // with the key times: no sort.
  std::vector<int32_t> frames{first};
  for (int64_t f = 0; rate > 0; ++f) {
    const int32_t t = FrameTick(f, rate);
    if (t > last) break;
    if (t >= first) frames.push_back(t);
  }
  frames.push_back(last);
  std::vector<int32_t> ticks;
  ticks.reserve(std::max(keyTimes.size(), frames.size()) + 2);
  std::set_union(keyTimes.begin(), keyTimes.end(), frames.begin(), frames.end(), std::back_inserter(ticks));
  ticks.erase(std::unique(ticks.begin(), ticks.end()), ticks.end());
  return ticks;
}

int32_t FrameTick(int64_t frame, int32_t rate) {
  return int32_t(std::trunc(double(float(frame * vxhost::kTicksPerSecond) / float(rate))));
}

namespace {

double ChannelValue(const vxhost::Instance& instance, int entry, double ticks, double fallback) {
  const vxhost::Channel* channel = instance.channels[entry];
  if (!channel || channel->keys.empty()) return fallback;
  return vxhost::EvaluateChannel(*channel, ticks);
}

}  // namespace

LocalPose LocalPoseAt(const vxhost::Instance& instance, double ticks) {
  LocalPose pose;
  if (vxhost::IsAnimated(instance)) {
    using namespace vxhost;
    pose.translation = {ChannelValue(instance, kTranslateX, ticks, 0.0),
                        ChannelValue(instance, kTranslateY, ticks, 0.0),
                        ChannelValue(instance, kTranslateZ, ticks, 0.0)};
    pose.scale = {ChannelValue(instance, kScaleX, ticks, 1.0), ChannelValue(instance, kScaleY, ticks, 1.0),
                  ChannelValue(instance, kScaleZ, ticks, 1.0)};
    const glm::dmat4 r = EulerRotation(instance.eulerOrder, ChannelValue(instance, kRotateX, ticks, 0.0),
                                       ChannelValue(instance, kRotateY, ticks, 0.0),
                                       ChannelValue(instance, kRotateZ, ticks, 0.0));
    pose.rotation = glm::normalize(glm::quat_cast(glm::dmat3(r)));
    return pose;
  }
  const glm::dmat4& m = instance.staticTransform;
  pose.translation = glm::dvec3(m[3]);
  glm::dmat3 basis(m);
  for (int i = 0; i < 3; ++i) {
    pose.scale[i] = glm::length(basis[i]);
    if (pose.scale[i] > 0.0) basis[i] /= pose.scale[i];
  }
  pose.rotation = glm::normalize(glm::quat_cast(basis));
  return pose;
}

bool IsMotionRoot(const vxhost::Instance& instance) {
  const vxhost::Instance* parent = instance.parent;
  return !parent || parent == vxhost::World() || !vxhost::IsAnimated(*parent);
}

TranslationReading ReadTranslation(const vxhost::Instance& instance, const ExportSettings& settings) {
  TranslationReading reading;
  if (IsMotionRoot(instance)) {
    reading.factor = reading.restFactor = settings.rootMotionScale;
  } else if (settings.replaceJointPositions) {
    for (int axis = 0; axis < 3; ++axis)
      if (!instance.locked[0][axis]) reading.offset[axis] = instance.staticTransform[3][axis];
  }
  return reading;
}

bool IsGroupingNode(const vxhost::Instance& instance) {
  return instance.parent == vxhost::World() && !instance.children.empty() && !vxhost::IsAnimated(instance) &&
         !instance.jointNode;
}

bool DrawsBoneFromParent(const vxhost::Instance& instance) {
  const vxhost::Instance* parent = instance.parent;
  return parent && parent != vxhost::World() && !IsGroupingNode(*parent);
}

std::vector<std::string> ScenePaths() {
  const std::vector<const vxhost::Instance*> instances = vxhost::AllInstances();
  std::unordered_map<const vxhost::Instance*, size_t> index;
  index.reserve(instances.size());
  std::vector<std::string> paths(instances.size());
  std::vector<size_t> depth(instances.size(), 1), top(instances.size());
  std::vector<const vxhost::Instance*> chain;
  for (size_t i = 0; i < instances.size(); ++i) {
    const vxhost::Instance& instance = *instances[i];
    index[&instance] = i;
    const auto parent = index.find(instance.parent);
    if (parent == index.end()) {
      top[i] = i;
      paths[i] = instance.name;
      continue;
    }
    depth[i] = depth[parent->second] + 1;
    top[i] = top[parent->second];
    if (depth[i] <= kPathNames) {
      paths[i] = paths[parent->second] + "/" + instance.name;
      continue;
    }
    chain.clear();
    const vxhost::Instance* up = &instance;
    for (size_t n = 0; n + 1 < kPathNames; ++n, up = up->parent) chain.push_back(up);
    paths[i] = instances[top[i]]->name + "/\u2026";
    for (auto at = chain.rbegin(); at != chain.rend(); ++at) paths[i] += "/" + (*at)->name;
  }
  return paths;
}

double SkeletonSize(double ticks) {
  glm::dvec3 lo(INFINITY), hi(-INFINITY);
  for (const glm::dmat4& world : vxhost::WorldTransforms(vxhost::AllInstances(), ticks)) {
    const glm::dvec3 p(world[3]);
    lo = glm::min(lo, p);
    hi = glm::max(hi, p);
  }
  const double size = glm::length(hi - lo);
  return std::isfinite(size) && size > 0.0 ? size : 1.0;
}

}  // namespace varnex
