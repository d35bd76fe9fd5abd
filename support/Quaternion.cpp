#include "support/Quaternion.h"

#include <cmath>

// The precision of every step is deliberate (single unless noted): results are compared bit for
// bit, and a change of precision shows up in the last digits.

namespace {
constexpr double kPi = 3.141592653589793;
constexpr float kHalfTurnDegrees = 180.0f;
}  // namespace

void QuatSetRotation(quat_t* q, float angle, float x, float y, float z) {
  const float halfAngle = static_cast<float>(static_cast<double>(angle / kHalfTurnDegrees) * kPi * 0.5);
  const float s = std::sin(halfAngle);
  const float co = std::cos(halfAngle);
  q->x = x * s;
  q->y = y * s;
  q->z = z * s;
  q->w = co;
}

void QuatMultiply(quat_t* out, const quat_t* a, const quat_t* b) {
  // Copy both operands first: out may be the same record as a or b.
  const quat_t p = *a;
  const quat_t r = *b;
  out->w = p.w * r.w - p.x * r.x - p.y * r.y - p.z * r.z;
  out->x = p.w * r.x + p.x * r.w + p.z * r.y - p.y * r.z;
  out->y = p.w * r.y + p.y * r.w + p.x * r.z - p.z * r.x;
  out->z = p.w * r.z + p.z * r.w + p.y * r.x - p.x * r.y;
}

void QuatGetAngleAxis(const quat_t* q, float* angle, float* x, float* y, float* z) {
  // At w = 1 the axis is 0 * infinity, and past +-1 acos is undefined: a zero turn about a fixed
  // axis is the honest answer. (w = -1 itself still works: acos gives the float nearest pi, whose
  // sine is small but not 0, so a full turn comes back as 360 degrees about its axis.)
  if (q->w >= 1.0f || q->w < -1.0f) {
    *angle = 0.0f;
    *x = 1.0f;
    *y = 0.0f;
    *z = 0.0f;
    return;
  }
  const float t = std::acos(q->w);
  const float k = static_cast<float>(1.0 / std::sin(static_cast<double>(t)));
  *angle = static_cast<float>(static_cast<double>((t + t) * kHalfTurnDegrees) / kPi);
  *x = k * q->x;
  *y = k * q->y;
  *z = k * q->z;
}

void QuatCreateMatrix(const quat_t* q, float m[16]) {
  const float x = q->x, y = q->y, z = q->z, w = q->w;
  // Doubled products as p + p, and the diagonal as (sum of squares) * -2 + 1, which assumes a
  // unit quaternion.
  const auto doubled = [](float p) { return p + p; };
  const auto diagonal = [](float sumOfSquares) { return sumOfSquares * -2.0f + 1.0f; };

  m[0] = diagonal(y * y + z * z);
  m[1] = doubled(x * y + z * w);
  m[2] = doubled(x * z - y * w);
  m[3] = 0.0f;

  m[4] = doubled(x * y - z * w);
  m[5] = diagonal(x * x + z * z);
  m[6] = doubled(y * z + x * w);
  m[7] = 0.0f;

  m[8] = doubled(x * z + y * w);
  m[9] = doubled(y * z - x * w);
  m[10] = diagonal(x * x + y * y);
  m[11] = 0.0f;

  m[12] = 0.0f;
  m[13] = 0.0f;
  m[14] = 0.0f;
  m[15] = 1.0f;
}
