// Reading the imported scene the way exporters need it: the times to sample
// at, and each instance's local translation, rotation and scale.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

#include <varnex/host.h>

#include "scene/export_settings.h"

namespace varnex {

// Every key time of the scene together with every frame time of the take
// (from the first key ever added to the last, at the scene's frame rate),
// ascending: optimisation and reduction thin the keys, but the take keeps
// its frames, and between reduced keys the curves are sampled at each.
std::vector<int32_t> SampleTicks();

// The tick frame f of a take timed at rate lands on, as the importers put
// it: (f × 4800) / rate in single precision, truncated.
int32_t FrameTick(int64_t frame, int32_t rate);

struct LocalPose {
  glm::dvec3 translation{0.0};
  glm::dquat rotation{1.0, 0.0, 0.0, 0.0};
  glm::dvec3 scale{1.0};
};

// The local transform of an instance split into its parts: from the
// channels when it is animated (rotation in its Euler order), else from its
// static transform.
LocalPose LocalPoseAt(const vxhost::Instance& instance, double ticks);

// Whether an animated instance carries its take's own motion: nothing
// animated stands above it.
bool IsMotionRoot(const vxhost::Instance& instance);

// How the exports read an animated instance's translation channels, axis
// by axis, before units and the turn to Y-up: value × factor − offset; its
// rest (the static offset) × restFactor. The root's motion takes the
// Acclaim unit length, as its bones do; below the root, a joint whose
// position channels hold the whole translation gives back the offset the
// importers added to them, on the axes it may move along.
struct TranslationReading {
  double factor = 1.0, restFactor = 1.0;
  glm::dvec3 offset{0.0};
};
TranslationReading ReadTranslation(const vxhost::Instance& instance, const ExportSettings& settings);

// A still instance right under "world" that only groups a skeleton, as the
// node a BVH import names after its file. Pictures leave it out: a line
// from it to the origin would look like a limb.
bool IsGroupingNode(const vxhost::Instance& instance);
// Whether a bone is drawn from an instance to its parent.
bool DrawsBoneFromParent(const vxhost::Instance& instance);

// The path of every instance (AllInstances order): names from the topmost
// instance under "world" down, joined with "/". Instance names are unique,
// so a path deeper than kPathNames keeps only its first name and its last
// ones, with "…" between, and a deep chain does not write quadratic text.
constexpr size_t kPathNames = 32;
std::vector<std::string> ScenePaths();

// Length of the diagonal of the box around every instance's world position
// at a time; 1 when the skeleton has no extent.
double SkeletonSize(double ticks);

}  // namespace varnex
