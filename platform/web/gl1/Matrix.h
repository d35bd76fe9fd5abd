#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace gl1 {

// A 4 x 4 matrix of floats in GL's order: column after column.
struct Matrix {
  std::array<float, 16> m;

  static Matrix identity();
  static Matrix rotation(float degrees, float x, float y, float z);

  // this x other, as glMultMatrix leaves it.
  Matrix operator*(const Matrix& other) const;
  void translate(float x, float y, float z);
  void scale(float x, float y, float z);
  // The point (x, y, z, 1) through the matrix.
  std::array<float, 4> transform(float x, float y, float z) const;
};

// One of GL's matrix stacks: the top is the current matrix. As in GL, a push beyond the depth or
// a pop of the last matrix is refused and changes nothing.
class MatrixStack {
 public:
  explicit MatrixStack(std::size_t depth) : depth_(depth), stack_{Matrix::identity()} {}

  Matrix& top() { return stack_.back(); }
  const Matrix& top() const { return stack_.back(); }
  bool push();
  bool pop();

 private:
  std::size_t depth_;
  std::vector<Matrix> stack_;
};

}  // namespace gl1
