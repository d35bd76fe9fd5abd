#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "support/Quaternion.h"

namespace {

// Values as one comparable array, so a mismatch prints them all.
template <class... T>
std::array<float, sizeof...(T)> floats(T... values) {
  return {float(values)...};
}

quat_t rotation(float angle, float x, float y, float z) {
  quat_t q;
  QuatSetRotation(&q, angle, x, y, z);
  return q;
}

// Where the matrix of q sends the point (x, y, z).
std::array<float, 3> turn(const quat_t& q, float x, float y, float z) {
  float m[16];
  QuatCreateMatrix(&q, m);
  return {m[0] * x + m[4] * y + m[8] * z, m[1] * x + m[5] * y + m[9] * z, m[2] * x + m[6] * y + m[10] * z};
}

void expectIdentityMatrix(const quat_t& q, float tolerance) {
  float m[16];
  QuatCreateMatrix(&q, m);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], i % 5 == 0 ? 1.0f : 0.0f, tolerance) << i;
}

TEST(Quaternion, BuildsRotationsInSinglePrecision) {
  const quat_t none = rotation(0, 0, 0, 0);  // any axis, even none, gives the identity
  EXPECT_EQ(floats(none.x, none.y, none.z, none.w), floats(0.0f, 0.0f, 0.0f, 1.0f));
  expectIdentityMatrix(none, 0.0f);

  const quat_t quarter = rotation(90, 0, 0, 1);
  EXPECT_EQ(floats(quarter.z, quarter.w), floats(0.70710677f, 0.70710677f));
  const auto image = turn(quarter, 1, 0, 0);  // counter-clockwise: +x to +y
  EXPECT_NEAR(image[0], 0.0f, 1e-7);
  EXPECT_NEAR(image[1], 1.0f, 1e-7);

  EXPECT_EQ(rotation(180, 1, 0, 0).w, -4.37113883e-8f);  // the half angle is a float: no exact 0
  const quat_t full = rotation(360, 0, 0, 1);
  EXPECT_EQ(full.w, -1.0f);
  expectIdentityMatrix(full, 2e-7f);

  float m[16];
  const quat_t stretched = rotation(90, 0, 2, 0);  // the axis is not normalised
  QuatCreateMatrix(&stretched, m);
  EXPECT_FLOAT_EQ(m[0], -3.0f);
}

TEST(Quaternion, ProductAppliesTheFirstOperandFirstAndMayAlias) {
  quat_t product;
  const quat_t aboutZ = rotation(90, 0, 0, 1), aboutX = rotation(90, 1, 0, 0);
  QuatMultiply(&product, &aboutZ, &aboutX);
  const auto image = turn(product, 1, 0, 0);  // +x to +y, then +y to +z
  EXPECT_NEAR(image[0], 0.0f, 2e-7);
  EXPECT_NEAR(image[2], 1.0f, 2e-7);

  const quat_t q = rotation(50, 0.267261f, 0.534522f, 0.801784f);
  quat_t square, aliased = q;
  QuatMultiply(&square, &q, &q);
  QuatMultiply(&aliased, &aliased, &aliased);
  EXPECT_EQ(std::memcmp(&square, &aliased, sizeof square), 0);
}

TEST(Quaternion, AngleAxisIsFiniteEvenWithoutAnAxis) {
  float angle, x, y, z;
  const quat_t full = rotation(360, 0, 0, 1);  // w = -1 still has an axis: a full turn
  QuatGetAngleAxis(&full, &angle, &x, &y, &z);
  EXPECT_NEAR(angle, 360.0f, 1e-4);
  EXPECT_NEAR(z, 1.0f, 1e-6);

  // The identity, and float drift past |w| = 1, come back as no turn about +x.
  for (const quat_t q : {quat_t{0, 0, 0, 1}, quat_t{0, 0, 1e-8f, 1.0000001f}, quat_t{0, 0, 0, -1.0000001f}}) {
    QuatGetAngleAxis(&q, &angle, &x, &y, &z);
    EXPECT_EQ(floats(angle, x, y, z), floats(0.0f, 1.0f, 0.0f, 0.0f)) << q.w;
  }
}

}  // namespace
