// Euler angles and rotation matrices in the host's conventions: column
// vectors, angles by axis (x, y, z), the first axis of an order turning first.
#pragma once

#include <cstdint>

#include <glm/mat3x3.hpp>
#include <glm/vec3.hpp>

namespace vxhost {

struct AxisOrder {
  int first, second, third;  // 0 x, 1 y, 2 z
};

// Matrix Euler-order codes 0, 4, 8, 12, 16, 20; false for any other code.
bool AxisOrderOfMatrixCode(int32_t code, AxisOrder* order);
// R = R(third) * R(second) * R(first); angles by axis.
glm::dmat3 RotationFromEuler(const AxisOrder& order, const glm::dvec3& angles);
// Angles by axis that rebuild the rotation in the given order.
glm::dvec3 EulerFromRotation(const glm::dmat3& rotation, const AxisOrder& order);

}  // namespace vxhost
