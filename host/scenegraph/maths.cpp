// Euler conversion and the Sg_ matrix routines. Work is done in double; the
// callers' matrices are single-precision, column-major.
#include "maths.h"

#include <cmath>
#include <cstring>
#include <string>

#include <glm/mat4x4.hpp>
#include <glm/matrix.hpp>

#include "hostcall.h"
#include "varnex/sg.h"

namespace vxhost {
namespace {

// m[col][row] in glm; these read and write by (row, col).
double& At(glm::dmat3& m, int row, int col) { return m[col][row]; }
double At(const glm::dmat3& m, int row, int col) { return m[col][row]; }

glm::dmat3 AxisRotation(int axis, double angle) {
  glm::dmat3 m(1.0);
  const int b = (axis + 1) % 3;
  const int c = (axis + 2) % 3;
  // Most bones turn about fewer than three axes, so many angles are zero:
  // sin(±0) is ±0 and cos(±0) is 1 exactly, without the library call.
  const double cosine = angle == 0.0 ? 1.0 : std::cos(angle);
  const double sine = angle == 0.0 ? angle : std::sin(angle);
  At(m, b, b) = cosine;
  At(m, b, c) = -sine;
  At(m, c, b) = sine;
  At(m, c, c) = cosine;
  return m;
}

glm::dmat4 ToDouble(const SgMatrix& matrix) {
  glm::dmat4 m;
  for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = matrix.m[i];
  return m;
}

void ToFloat(const glm::dmat4& m, SgMatrix* matrix) {
  for (int i = 0; i < 16; ++i) matrix->m[i] = static_cast<float>(m[i / 4][i % 4]);
}

// A rotation as the 4x4 matrix with no translation.
void RotationToFloat(const glm::dmat3& m, SgMatrix* matrix) {
  for (int col = 0; col < 4; ++col) {
    for (int row = 0; row < 4; ++row) {
      matrix->m[col * 4 + row] = col < 3 && row < 3 ? static_cast<float>(m[col][row]) : col == row ? 1.0f : 0.0f;
    }
  }
}

glm::dmat3 RotationPart(const SgMatrix& matrix) {
  glm::dmat3 m;
  for (int col = 0; col < 3; ++col) {
    for (int row = 0; row < 3; ++row) m[col][row] = matrix.m[col * 4 + row];
  }
  return m;
}

// a·b in glm's order of operations (each column of the product a sum of the
// columns of a, scaled and added left to right), in double, rounded once to
// float; written out because building double matrices cost more than the
// product, and this runs several times per bone and frame.
void MultiplyInto(const SgMatrix& a, const SgMatrix& b, SgMatrix* result) {
  // a widened once, not once per column; the rows of a column are independent,
  // so the compiler may work on two at a time.
  double wide[16];
  for (int i = 0; i < 16; ++i) wide[i] = a.m[i];
  float product[16];
  for (int col = 0; col < 4; ++col) {
    const double b0 = b.m[col * 4];
    const double b1 = b.m[col * 4 + 1];
    const double b2 = b.m[col * 4 + 2];
    const double b3 = b.m[col * 4 + 3];
    for (int row = 0; row < 4; ++row) {
      double sum = wide[row] * b0;
      sum = sum + wide[4 + row] * b1;
      sum = sum + wide[8 + row] * b2;
      sum = sum + wide[12 + row] * b3;
      product[col * 4 + row] = static_cast<float>(sum);
    }
  }
  std::memcpy(result->m, product, sizeof product);  // result may be a or b
}

#if defined(__GNUC__) && defined(__x86_64__)
// The same product four rows at a time on processors with AVX2 (no FMA: every
// product and sum rounds as in the loop above).
using Doubles4 = double __attribute__((vector_size(32)));
using Floats4 = float __attribute__((vector_size(16)));

__attribute__((target("avx2"))) void MultiplyIntoWide(const SgMatrix& a, const SgMatrix& b, SgMatrix* result) {
  Doubles4 column[4];
  for (int k = 0; k < 4; ++k) {
    Floats4 narrow;
    std::memcpy(&narrow, a.m + 4 * k, sizeof narrow);
    column[k] = __builtin_convertvector(narrow, Doubles4);
  }
  Floats4 product[4];
  for (int col = 0; col < 4; ++col) {
    const float* bc = b.m + col * 4;
    Doubles4 sum = column[0] * static_cast<double>(bc[0]);
    sum = sum + column[1] * static_cast<double>(bc[1]);
    sum = sum + column[2] * static_cast<double>(bc[2]);
    sum = sum + column[3] * static_cast<double>(bc[3]);
    product[col] = __builtin_convertvector(sum, Floats4);
  }
  std::memcpy(result->m, product, sizeof product);  // result may be a or b
}

bool HasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}

void Multiply(const SgMatrix& a, const SgMatrix& b, SgMatrix* result) {
  if (hostCore.fastPaths && HasAvx2()) {
    MultiplyIntoWide(a, b, result);
  } else {
    MultiplyInto(a, b, result);
  }
}
#else
void Multiply(const SgMatrix& a, const SgMatrix& b, SgMatrix* result) { MultiplyInto(a, b, result); }
#endif

std::string EulerLogText(const SgEuler& euler) {
  return "[" + FormatFloat(euler.v[0]) + ", " + FormatFloat(euler.v[1]) + ", " + FormatFloat(euler.v[2]) + ", " +
         FormatFloat(euler.v[3]) + "]";
}

// Callers ask CallLogOn() first: formatting an Euler record costs more than
// the rotation it describes, and these routines run once per bone and frame.
void LogCall(const std::string& line) {
  if (CallLogOn()) AppendCallLog(line);
}

}  // namespace

bool AxisOrderOfMatrixCode(int32_t code, AxisOrder* order) {
  static const AxisOrder orders[] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
  if (code < 0 || code > 20 || code % 4 != 0) return false;
  *order = orders[code / 4];
  return true;
}

glm::dmat3 RotationFromEuler(const AxisOrder& order, const glm::dvec3& angles) {
  return AxisRotation(order.third, angles[order.third]) * AxisRotation(order.second, angles[order.second]) *
         AxisRotation(order.first, angles[order.first]);
}

// The last axis's angle and the middle one come from the image of the first
// axis; the first angle is then read from what remains once those two are
// undone, which stays exact near gimbal lock where the first and last axes
// line up and only their sum is defined.
glm::dvec3 EulerFromRotation(const glm::dmat3& m, const AxisOrder& order) {
  const int i = order.first;
  const int j = order.second;
  const int k = order.third;
  const double sign = j == (i + 1) % 3 ? 1.0 : -1.0;
  const double cosMiddle = std::hypot(At(m, i, i), At(m, j, i));
  glm::dvec3 angles(0.0);
  angles[k] = sign * std::atan2(At(m, j, i), At(m, i, i));
  angles[j] = sign * std::atan2(-At(m, k, i), cosMiddle);
  const glm::dmat3 rest = AxisRotation(j, -angles[j]) * AxisRotation(k, -angles[k]) * m;
  const int b = (i + 1) % 3;
  const int c = (i + 2) % 3;
  angles[i] = std::atan2(At(rest, c, b), At(rest, b, b));
  return angles;
}

}  // namespace vxhost

using vxhost::AxisOrder;

extern "C" void Sg_Euler2Matrix(SgEuler* euler, SgMatrix* matrix) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Sg_Euler2Matrix()", [&] {
    if (vxhost::CallLogOn()) vxhost::LogCall(std::string("Sg_Euler2Matrix(") + (euler ? vxhost::EulerLogText(*euler) : "0") + ", " +
                    (matrix ? "M" : "0") + ")");
    AxisOrder order;
    if (!euler || !matrix) {
      vxhost::ReportHostError("Sg_Euler2Matrix()", euler ? "item 2: expected a matrix, found 0"
                                                          : "item 1: expected an Euler record, found 0");
    } else if (euler->v[3] != static_cast<int32_t>(euler->v[3]) ||
               !vxhost::AxisOrderOfMatrixCode(static_cast<int32_t>(euler->v[3]), &order)) {
      vxhost::ReportHostError("Sg_Euler2Matrix()", "item 1: Euler order code " + vxhost::FormatFloat(euler->v[3]) +
                                                       " is none of 0, 4, 8, 12, 16, 20");
    } else {
      vxhost::RotationToFloat(vxhost::RotationFromEuler(order, glm::dvec3(euler->v[0], euler->v[1], euler->v[2])), matrix);
    }
  });
  vxhost::AfterHostCall();
}

extern "C" void Sg_Matrix_Invert(SgMatrix* source, SgMatrix* destination) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Sg_Matrix_Invert()", [&] {
    if (vxhost::CallLogOn()) vxhost::LogCall(std::string("Sg_Matrix_Invert(") + (source ? "M" : "0") + ", " + (destination ? "M" : "0") + ")");
    if (!source || !destination) {
      vxhost::ReportHostError("Sg_Matrix_Invert()", source ? "item 2: expected a matrix, found 0"
                                                            : "item 1: expected a matrix, found 0");
      return;
    }
    const glm::dmat4 m = vxhost::ToDouble(*source);
    const double determinant = glm::determinant(m);
    if (!std::isfinite(determinant) || std::fabs(determinant) < 1e-300) {
      vxhost::ReportHostError("Sg_Matrix_Invert()", "item 1: the matrix is singular");
      return;
    }
    vxhost::ToFloat(glm::inverse(m), destination);
  });
  vxhost::AfterHostCall();
}

extern "C" void Sg_Matrix_Multiply(int16_t mode, SgMatrix* a, SgMatrix* b, SgMatrix* result) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Sg_Matrix_Multiply()", [&] {
    if (vxhost::CallLogOn()) vxhost::LogCall("Sg_Matrix_Multiply(" + std::to_string(mode) + ", " + (a ? "M" : "0") + ", " + (b ? "M" : "0") +
                    ", " + (result ? "M" : "0") + ")");
    if (mode != 1) {
      vxhost::ReportHostError("Sg_Matrix_Multiply()", "item 1: mode " + std::to_string(mode) + " is not 1");
    } else if (!a || !b || !result) {
      vxhost::ReportHostError("Sg_Matrix_Multiply()", std::string("item ") + (!a ? "2" : !b ? "3" : "4") +
                                                          ": expected a matrix, found 0");
    } else {
      vxhost::Multiply(*a, *b, result);
    }
  });
  vxhost::AfterHostCall();
}

extern "C" void Sg_Matrix2Euler(SgMatrix* matrix, int32_t order, SgEuler* euler) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Sg_Matrix2Euler()", [&] {
    AxisOrder axes;
    bool sound = false;
    if (!matrix || !euler) {
      vxhost::ReportHostError("Sg_Matrix2Euler()", matrix ? "item 3: expected an Euler record, found 0"
                                                           : "item 1: expected a matrix, found 0");
    } else if (!vxhost::AxisOrderOfMatrixCode(order, &axes)) {
      vxhost::ReportHostError("Sg_Matrix2Euler()",
                              "item 2: Euler order code " + std::to_string(order) + " is none of 0, 4, 8, 12, 16, 20");
    } else {
      const glm::dvec3 angles = vxhost::EulerFromRotation(vxhost::RotationPart(*matrix), axes);
      for (int i = 0; i < 3; ++i) euler->v[i] = angles[i];
      sound = true;
    }
    // The record is the call's output: the log shows what it received.
    if (vxhost::CallLogOn()) vxhost::LogCall("Sg_Matrix2Euler(" + std::string(matrix ? "M" : "0") + ", " + std::to_string(order) + ", " +
                    (sound ? vxhost::EulerLogText(*euler) : std::string(euler ? "[?]" : "0")) + ")");
  });
  vxhost::AfterHostCall();
}
