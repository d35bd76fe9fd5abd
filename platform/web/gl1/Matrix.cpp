// The matrix arithmetic of desktop Mesa, operation for operation in single precision, so that the
// page's vertices land where the desktop's do.
#include "platform/web/gl1/Matrix.h"

#include <cmath>

namespace gl1 {

Matrix Matrix::identity() { return Matrix{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}; }

Matrix Matrix::rotation(float degrees, float x, float y, float z) {
  const double radians = degrees * M_PI / 180.0;
  const float s = static_cast<float>(std::sin(radians));
  const float c = static_cast<float>(std::cos(radians));
  Matrix r = identity();
  auto at = [&r](int row, int column) -> float& { return r.m[column * 4 + row]; };
  // Rotations about one axis keep the exact zeros and ones of the matrix.
  if (x == 0.0f && y == 0.0f && z != 0.0f) {
    at(0, 0) = c;
    at(1, 1) = c;
    at(0, 1) = z < 0.0f ? s : -s;
    at(1, 0) = z < 0.0f ? -s : s;
    return r;
  }
  if (x == 0.0f && z == 0.0f && y != 0.0f) {
    at(0, 0) = c;
    at(2, 2) = c;
    at(0, 2) = y < 0.0f ? -s : s;
    at(2, 0) = y < 0.0f ? s : -s;
    return r;
  }
  if (y == 0.0f && z == 0.0f && x != 0.0f) {
    at(1, 1) = c;
    at(2, 2) = c;
    at(1, 2) = x < 0.0f ? s : -s;
    at(2, 1) = x < 0.0f ? -s : s;
    return r;
  }
  const float length = std::sqrt(x * x + y * y + z * z);
  if (length <= 1.0e-4f) return r;  // no axis: GL leaves the matrix as it is
  x /= length;
  y /= length;
  z /= length;
  const float oneMinusC = 1.0f - c;
  at(0, 0) = oneMinusC * x * x + c;
  at(0, 1) = oneMinusC * x * y - z * s;
  at(0, 2) = oneMinusC * z * x + y * s;
  at(1, 0) = oneMinusC * x * y + z * s;
  at(1, 1) = oneMinusC * y * y + c;
  at(1, 2) = oneMinusC * y * z - x * s;
  at(2, 0) = oneMinusC * z * x - y * s;
  at(2, 1) = oneMinusC * y * z + x * s;
  at(2, 2) = oneMinusC * z * z + c;
  return r;
}

Matrix Matrix::operator*(const Matrix& b) const {
  Matrix p;
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column)
      p.m[column * 4 + row] = m[row] * b.m[column * 4] + m[4 + row] * b.m[column * 4 + 1] +
                              m[8 + row] * b.m[column * 4 + 2] + m[12 + row] * b.m[column * 4 + 3];
  return p;
}

void Matrix::translate(float x, float y, float z) {
  for (int row = 0; row < 4; ++row) m[12 + row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
}

void Matrix::scale(float x, float y, float z) {
  for (int row = 0; row < 4; ++row) {
    m[row] *= x;
    m[4 + row] *= y;
    m[8 + row] *= z;
  }
}

std::array<float, 4> Matrix::transform(float x, float y, float z) const {
  std::array<float, 4> out;
  for (int row = 0; row < 4; ++row) out[row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
  return out;
}

bool MatrixStack::push() {
  if (stack_.size() >= depth_) return false;
  stack_.push_back(stack_.back());
  return true;
}

bool MatrixStack::pop() {
  if (stack_.size() <= 1) return false;
  stack_.pop_back();
  return true;
}

}  // namespace gl1
