#pragma once

// A stand-in for libGL and libGLU, linked into the unit tests in their place. Every call is
// recorded with its arguments (floats widened exactly to double) and a little of the GL state is
// tracked, so tests can assert the exact command stream of a frame and the state it leaves.

#include <GL/gl.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace gl {

using Matrix = std::array<double, 16>;  // column-major, like GL

struct Call {
  std::string name;
  std::vector<double> args;          // scalar arguments, and float arrays (matrices, materials)
  std::vector<uint8_t> pixels;       // glTexImage2D: the texels GL would read, tightly packed
  std::array<double, 3> eye{};       // glVertex3f: the vertex in eye space (modelview applied)

  // "glTranslatef(-5, 0, -5)": name and arguments at float precision, enums by name
  // ("glEnable(GL_TEXTURE_2D)").
  std::string str() const;
  bool operator==(const std::string& text) const { return str() == text; }
};

struct State {
  std::set<GLenum> enabled;
  std::array<double, 4> color{1, 1, 1, 1};
  GLuint boundTexture2D = 0;
  GLenum blendSrc = GL_ONE, blendDst = GL_ZERO;
  GLenum matrixMode = GL_MODELVIEW;
  GLenum shadeModel = GL_SMOOTH;
  double texEnvMode = GL_MODULATE;
  GLint unpackAlignment = 4, unpackRowLength = 0;
  std::array<double, 4> clearColor{0, 0, 0, 0};
  std::array<GLint, 4> viewport{0, 0, 0, 0};
  std::vector<Matrix> modelview{identity()};   // back() is current
  std::vector<Matrix> projection{identity()};
  GLuint nextTextureName = 1;
  GLint maxTextureSize = 16384;
  bool inBeginEnd = false;
  bool newQuadricFails = false;  // make gluNewQuadric return null

  static Matrix identity();
  bool isEnabled(GLenum cap) const { return enabled.count(cap) != 0; }
};

// The calls made since the last reset, in order, and the tracked state.
std::vector<Call>& calls();
State& state();
// Forget every call and start from a fresh GL state (texture names restart at 1).
void reset();

// Calls with the given name, in order.
std::vector<Call> callsNamed(const std::string& name);
// The names of all calls, in order.
std::vector<std::string> names();
// Index of the first call at or after `from` whose str() equals text; -1 if none.
int find(const std::string& text, size_t from = 0);

// Appends a call to the record (for stand-ins of further GL functions).
Call& record(const char* name, std::initializer_list<double> args);

// Matrix helpers for tests.
Matrix multiply(const Matrix& a, const Matrix& b);
std::array<double, 3> transform(const Matrix& m, double x, double y, double z);

}  // namespace gl
