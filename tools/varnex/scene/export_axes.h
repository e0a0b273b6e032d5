// The turn every export makes to stand a Z-up scene upright in glTF's Y-up:
// the quarter turn about X, which takes (x, y, z) to (x, z, -y). It is a
// permutation with one sign, so lengths, rotation axes, quaternions and
// Euler channels all turn exactly, and every export turns them alike.
#pragma once

#include <array>
#include <cstdint>

#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

namespace varnex {

// out[i] = sign[i] × in[from[i]] for a vector (or a rotation's axis);
// out[i] = in[from[i]] for a scale.
struct AxisTurn {
  std::array<int, 3> from{0, 1, 2};
  std::array<double, 3> sign{1.0, 1.0, 1.0};
};

// The turn for a source up axis: none for 'y', the quarter turn for 'z'.
AxisTurn ExportAxisTurn(char up);

glm::dvec3 TurnVector(const AxisTurn& turn, const glm::dvec3& v);
glm::dvec3 TurnScale(const AxisTurn& turn, const glm::dvec3& s);
// The rotation seen in the turned frame: its axis turns as a vector.
glm::dquat TurnRotation(const AxisTurn& turn, const glm::dquat& q);
// The instance Euler order code of the same order in the turned frame: each
// axis renamed (XYZ becomes XZY under the quarter turn); the code itself
// when it names no order.
int32_t TurnEulerOrder(const AxisTurn& turn, int32_t code);

}  // namespace varnex
