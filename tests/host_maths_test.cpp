// The host's matrix routines: Euler angles to matrix and back in every
// order, also near gimbal lock, and inversion and products that may write
// over their operands.
#include <cmath>
#include <cstring>
#include <random>

#include "host_test_support.h"

namespace {

const int32_t kMatrixOrders[] = {0, 4, 8, 12, 16, 20};

double MaxDifference(const SgMatrix& a, const SgMatrix& b) {
  double most = 0;
  for (int i = 0; i < 16; ++i) most = std::max(most, std::fabs(static_cast<double>(a.m[i]) - b.m[i]));
  return most;
}

SgMatrix FromEuler(double x, double y, double z, int32_t order) {
  SgEuler euler{{x, y, z, static_cast<double>(order)}};
  SgMatrix m;
  Sg_Euler2Matrix(&euler, &m);
  return m;
}

TEST_F(HostTest, EulerRoundTripsRebuildTheMatrixInEveryOrder) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> angle(-M_PI, M_PI);
  std::uniform_real_distribution<double> nearLock(-1e-3, 1e-3);
  for (int32_t order : kMatrixOrders) {
    for (int i = 0; i < 400; ++i) {
      double angles[3] = {angle(random), angle(random), angle(random)};
      if (i % 2 == 1) {
        // Put the middle axis of the order near ±90°, where the outer axes line up.
        const int middleAxis[] = {1, 2, 2, 0, 0, 1};
        const int middle = middleAxis[order / 4];
        angles[middle] = (i % 4 == 1 ? M_PI / 2 : -M_PI / 2) + (i % 8 < 4 ? nearLock(random) : 0.0);
      }
      const SgMatrix m = FromEuler(angles[0], angles[1], angles[2], order);
      SgMatrix copy = m;
      SgEuler back{{0, 0, 0, static_cast<double>(order)}};
      Sg_Matrix2Euler(&copy, order, &back);
      const SgMatrix rebuilt = FromEuler(back.v[0], back.v[1], back.v[2], order);
      ASSERT_LT(MaxDifference(m, rebuilt), 2e-6) << "order " << order << " angles " << angles[0] << " " << angles[1]
                                                 << " " << angles[2];
    }
  }
  EXPECT_TRUE(vxhost::HostErrors().empty());
}

// Which axis turns first decides the pose: the y axis under x = 90° and
// z = 90° goes to z when x turns first (z then keeps it), to -x when z turns
// first. The instance code, half the matrix code, names the same rotation,
// and angles away from the lock come back unchanged.
TEST_F(HostTest, EulerOrderDecidesWhichAxisTurnsFirst) {
  const glm::dvec3 imageOfY[] = {{0, 0, 1}, {0, 0, 1}, {-1, 0, 0}, {0, 0, 1}, {-1, 0, 0}, {-1, 0, 0}};
  for (int i = 0; i < 6; ++i) {
    const int32_t order = kMatrixOrders[i];
    SgMatrix m = FromEuler(M_PI / 2, 0, M_PI / 2, order);
    EXPECT_NEAR(glm::length(glm::dvec3(m.m[4], m.m[5], m.m[6]) - imageOfY[i]), 0, 1e-6) << order;
    m = FromEuler(0.3, -1.1, 2.0, order);
    const glm::dmat4 r = vxhost::EulerRotation(order / 2, 0.3, -1.1, 2.0);
    for (int e = 0; e < 16; ++e) EXPECT_NEAR(m.m[e], r[e / 4][e % 4], 1e-6) << order << " element " << e;
    m = FromEuler(0.25, -0.5, 0.75, order);
    SgEuler back{};
    Sg_Matrix2Euler(&m, order, &back);
    EXPECT_NEAR(glm::length(glm::dvec3(back.v[0], back.v[1], back.v[2]) - glm::dvec3(0.25, -0.5, 0.75)), 0, 1e-6) << order;
  }
}

// The one table of order codes: its letters name the axes in turning order,
// and every code that names no order answers nothing.
TEST_F(HostTest, EulerOrderCodesNameTheirAxesOnce) {
  const char* expected[] = {"XYZ", nullptr, "XZY", nullptr, "YZX", nullptr, "YXZ", nullptr, "ZXY", nullptr, "ZYX"};
  for (int32_t code = -2; code <= 12; ++code) {
    const char* want = code >= 0 && code <= 10 ? expected[code] : nullptr;
    const char* letters = vxhost::EulerOrderLetters(code);
    const auto axes = vxhost::EulerOrderAxes(code);
    ASSERT_EQ(letters == nullptr, want == nullptr) << code;
    ASSERT_EQ(axes.has_value(), want != nullptr) << code;
    if (!want) continue;
    EXPECT_STREQ(letters, want);
    for (int i = 0; i < 3; ++i) EXPECT_EQ((*axes)[size_t(i)], want[i] - 'X') << code;
  }
}

TEST_F(HostTest, InverseUndoesAndTranslationsSitInTheLastColumn) {
  const SgMatrix k = FromEuler(0.4, 0.2, -0.9, 16);
  SgMatrix kInverse;
  Sg_Matrix_Invert(const_cast<SgMatrix*>(&k), &kInverse);
  SgMatrix identity;
  Sg_Matrix_Multiply(1, const_cast<SgMatrix*>(&k), &kInverse, &identity);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(identity.m[i], i % 5 == 0 ? 1.0 : 0.0, 1e-6);

  // Column-major with column vectors: a translation sits in elements 12..14.
  SgMatrix t{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1}};
  SgMatrix r = FromEuler(0, 0, M_PI / 2, 0);
  SgMatrix tr;
  Sg_Matrix_Multiply(1, &t, &r, &tr);  // rotate, then translate
  EXPECT_NEAR(tr.m[12], 1, 1e-6);
  EXPECT_NEAR(tr.m[1], 1, 1e-6) << "x turns to y about z";
  EXPECT_TRUE(vxhost::HostErrors().empty());
}

// Each element of a product is one double sum over the columns of the left
// matrix, scaled and added in turn, rounded once to float: imports depend on
// these exact bits, whichever instructions the host picks, and whichever
// operand the product overwrites.
TEST_F(HostTest, ProductsRoundEachDoubleSumOnce) {
  // With the fast paths on, a processor with AVX2 multiplies four rows at a
  // time; off, the plain loop runs: both must give these bits.
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "fast paths" : "general paths");
    FastPaths paths(fast);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> value(-3, 3);
    // Terms that cancel make the order of the sums show; zeros their signs.
    const float cancelling[] = {1e20f, 1.0f, -1e20f, 0.5f, -0.0f};
    for (int trial = 0; trial < 200; ++trial) {
      SgMatrix a;
      SgMatrix b;
      for (int i = 0; i < 16; ++i) {
        a.m[i] = trial % 2 ? cancelling[(i / 4 + i % 4 + trial) % 5] : value(random);
        b.m[i] = trial % 2 ? (random() % 2 ? 1.0f : -1.0f) : value(random);
      }
      SgMatrix product, left = a, right = b;
      Sg_Matrix_Multiply(1, &a, &b, &product);
      Sg_Matrix_Multiply(1, &left, &b, &left);
      Sg_Matrix_Multiply(1, &a, &right, &right);
      ASSERT_EQ(std::memcmp(&left, &product, sizeof product), 0) << "trial " << trial;
      ASSERT_EQ(std::memcmp(&right, &product, sizeof product), 0) << "trial " << trial;
      for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
          double sum = static_cast<double>(a.m[row]) * b.m[col * 4];
          for (int k = 1; k < 4; ++k) {
            volatile double term = static_cast<double>(a.m[k * 4 + row]) * b.m[col * 4 + k];
            sum = sum + term;
          }
          const float expected = static_cast<float>(sum);
          ASSERT_EQ(std::memcmp(&product.m[col * 4 + row], &expected, sizeof expected), 0)
              << "trial " << trial << " element " << col * 4 + row;
        }
      }
    }
  }
  EXPECT_TRUE(vxhost::HostErrors().empty());
}

}  // namespace
