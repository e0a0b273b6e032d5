#include "scene/export_axes.h"

#include <optional>

#include <varnex/host.h>

namespace varnex {

AxisTurn ExportAxisTurn(char up) {
  if (up != 'z') return {};
  return {{0, 2, 1}, {1.0, 1.0, -1.0}};
}

glm::dvec3 TurnVector(const AxisTurn& turn, const glm::dvec3& v) {
  return {turn.sign[0] * v[turn.from[0]], turn.sign[1] * v[turn.from[1]], turn.sign[2] * v[turn.from[2]]};
}

glm::dvec3 TurnScale(const AxisTurn& turn, const glm::dvec3& s) {
  return {s[turn.from[0]], s[turn.from[1]], s[turn.from[2]]};
}

glm::dquat TurnRotation(const AxisTurn& turn, const glm::dquat& q) {
  const glm::dvec3 axis = TurnVector(turn, glm::dvec3(q.x, q.y, q.z));
  return glm::dquat(q.w, axis.x, axis.y, axis.z);
}

int32_t TurnEulerOrder(const AxisTurn& turn, int32_t code) {
  const std::optional<std::array<int, 3>> axes = vxhost::EulerOrderAxes(code);
  if (!axes) return code;
  std::array<int, 3> renamed{};
  for (int i = 0; i < 3; ++i)
    for (int to = 0; to < 3; ++to)
      if (turn.from[size_t(to)] == (*axes)[size_t(i)]) renamed[size_t(i)] = to;
  for (int32_t candidate = 0; candidate <= 10; candidate += 2)
    if (vxhost::EulerOrderAxes(candidate) == renamed) return candidate;
  return code;
}

}  // namespace varnex
