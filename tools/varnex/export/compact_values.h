// How the compaction reads a take's values: what is not a number reads as
// no move, a rotation as a unit quaternion, and angles between rotations.
#pragma once

#include <algorithm>
#include <cmath>

#include <glm/geometric.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

namespace varnex {

inline double MaxAbs(const glm::dvec3& v) { return std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)}); }

inline bool Finite(const glm::dvec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

inline glm::dvec3 Clean(const glm::dvec3& v) {
  return {std::isfinite(v.x) ? v.x : 0.0, std::isfinite(v.y) ? v.y : 0.0, std::isfinite(v.z) ? v.z : 0.0};
}

inline glm::dquat Unit(const glm::dquat& q) {
  const double len = glm::length(q);
  if (!std::isfinite(len) || len < 1e-12) return glm::dquat(1.0, 0.0, 0.0, 0.0);
  return q / len;
}

// A value as a float stores it. The float goes through memory that the
// optimizer may not skip: GCC 12's vectorizer drops the rounding of two
// doubles to float and back when it does them together.
inline double AsStored(double x) {
  const volatile float stored = float(x);
  return stored;
}

inline glm::dvec3 AsStored(const glm::dvec3& v) { return {AsStored(v.x), AsStored(v.y), AsStored(v.z)}; }

inline glm::dquat FloatRounded(const glm::dquat& q) {
  return glm::dquat(AsStored(q.w), AsStored(q.x), AsStored(q.y), AsStored(q.z));
}

// The angle between two unit rotations.
inline double AngleBetween(const glm::dquat& a, const glm::dquat& b) {
  return 2.0 * std::acos(std::min(1.0, std::fabs(glm::dot(a, b))));
}

}  // namespace varnex
