#include "GLRecorder.h"

#include <GL/glu.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "GLEnumNames.h"

struct GLUquadric {
  GLboolean texture = GL_FALSE;
};

namespace gl {
namespace {

State g_state;
std::vector<Call> g_calls;

Matrix& currentMatrix() {
  return g_state.matrixMode == GL_PROJECTION ? g_state.projection.back() : g_state.modelview.back();
}
std::vector<Matrix>& currentStack() {
  return g_state.matrixMode == GL_PROJECTION ? g_state.projection : g_state.modelview;
}

void multiplyCurrent(const Matrix& m) { currentMatrix() = multiply(currentMatrix(), m); }

Matrix fromFloats(const GLfloat* m) {
  Matrix out;
  for (int i = 0; i < 16; ++i) out[i] = m[i];
  return out;
}

}  // namespace

Call& record(const char* name, std::initializer_list<double> args) {
  g_calls.push_back(Call{name, std::vector<double>(args), {}, {}});
  return g_calls.back();
}

Matrix State::identity() { return Matrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

std::string Call::str() const {
  std::string text = name + "(";
  char number[32];
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) text += ", ";
    const std::string enumText = enumName(name, i, args[i]);
    if (!enumText.empty()) {
      text += enumText;
      continue;
    }
    std::snprintf(number, sizeof number, "%.9g", args[i]);
    text += number;
  }
  return text + ")";
}

std::vector<Call>& calls() { return g_calls; }
State& state() { return g_state; }

void reset() {
  const GLint maxTextureSize = g_state.maxTextureSize;
  g_state = State{};
  g_state.maxTextureSize = maxTextureSize;
  g_calls.clear();
}

std::vector<Call> callsNamed(const std::string& name) {
  std::vector<Call> out;
  for (const Call& c : g_calls)
    if (c.name == name) out.push_back(c);
  return out;
}

std::vector<std::string> names() {
  std::vector<std::string> out;
  for (const Call& c : g_calls) out.push_back(c.name);
  return out;
}

int find(const std::string& text, size_t from) {
  for (size_t i = from; i < g_calls.size(); ++i)
    if (g_calls[i].str() == text) return static_cast<int>(i);
  return -1;
}

Matrix multiply(const Matrix& a, const Matrix& b) {
  Matrix out{};
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 4; ++row) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[col * 4 + k];
      out[col * 4 + row] = sum;
    }
  return out;
}

std::array<double, 3> transform(const Matrix& m, double x, double y, double z) {
  return {m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
          m[2] * x + m[6] * y + m[10] * z + m[14]};
}

}  // namespace gl

using gl::g_state;
using gl::record;

extern "C" {

void glViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
  record("glViewport", {double(x), double(y), double(w), double(h)});
  g_state.viewport = {x, y, w, h};
}
void glMatrixMode(GLenum mode) {
  record("glMatrixMode", {double(mode)});
  g_state.matrixMode = mode;
}
void glLoadIdentity() {
  record("glLoadIdentity", {});
  gl::currentMatrix() = gl::State::identity();
}
void glPushMatrix() {
  record("glPushMatrix", {});
  gl::currentStack().push_back(gl::currentMatrix());
}
void glPopMatrix() {
  record("glPopMatrix", {});
  if (gl::currentStack().size() > 1) gl::currentStack().pop_back();
}
void glEnable(GLenum cap) {
  record("glEnable", {double(cap)});
  g_state.enabled.insert(cap);
}
void glDisable(GLenum cap) {
  record("glDisable", {double(cap)});
  g_state.enabled.erase(cap);
}
void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
  record("glClearColor", {r, g, b, a});
  g_state.clearColor = {r, g, b, a};
}
void glClear(GLbitfield mask) { record("glClear", {double(mask)}); }
void glBlendFunc(GLenum src, GLenum dst) {
  record("glBlendFunc", {double(src), double(dst)});
  g_state.blendSrc = src;
  g_state.blendDst = dst;
}
void glBindTexture(GLenum target, GLuint name) {
  record("glBindTexture", {double(target), double(name)});
  if (target == GL_TEXTURE_2D) g_state.boundTexture2D = name;
}
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  record("glTranslatef", {x, y, z});
  gl::Matrix m = gl::State::identity();
  m[12] = x, m[13] = y, m[14] = z;
  gl::multiplyCurrent(m);
}
void glScalef(GLfloat x, GLfloat y, GLfloat z) {
  record("glScalef", {x, y, z});
  gl::Matrix m = gl::State::identity();
  m[0] = x, m[5] = y, m[10] = z;
  gl::multiplyCurrent(m);
}
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
  record("glRotatef", {angle, x, y, z});
  const double length = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
  if (length == 0) return;
  const double ax = x / length, ay = y / length, az = z / length;
  const double r = angle * M_PI / 180.0, c = std::cos(r), s = std::sin(r), t = 1 - c;
  gl::Matrix m = {t * ax * ax + c,      t * ax * ay + s * az, t * ax * az - s * ay, 0,
                  t * ax * ay - s * az, t * ay * ay + c,      t * ay * az + s * ax, 0,
                  t * ax * az + s * ay, t * ay * az - s * ax, t * az * az + c,      0,
                  0,                    0,                    0,                    1};
  gl::multiplyCurrent(m);
}
void glMultMatrixf(const GLfloat* m) {
  gl::Call& call = record("glMultMatrixf", {});
  call.args.assign(m, m + 16);
  gl::multiplyCurrent(gl::fromFloats(m));
}
void glBegin(GLenum mode) {
  record("glBegin", {double(mode)});
  g_state.inBeginEnd = true;
}
void glEnd() {
  record("glEnd", {});
  g_state.inBeginEnd = false;
}
void glColor3f(GLfloat r, GLfloat g, GLfloat b) {
  record("glColor3f", {r, g, b});
  g_state.color = {r, g, b, 1};
}
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
  record("glColor4f", {r, g, b, a});
  g_state.color = {r, g, b, a};
}
void glTexCoord2d(GLdouble s, GLdouble t) { record("glTexCoord2d", {s, t}); }
void glTexCoord2f(GLfloat s, GLfloat t) { record("glTexCoord2f", {s, t}); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  gl::Call& call = record("glVertex3f", {x, y, z});
  call.eye = gl::transform(g_state.modelview.back(), x, y, z);
}
void glGenTextures(GLsizei n, GLuint* names) {
  record("glGenTextures", {double(n)});
  for (GLsizei i = 0; i < n; ++i) names[i] = g_state.nextTextureName++;
}
void glDeleteTextures(GLsizei n, const GLuint*) { record("glDeleteTextures", {double(n)}); }
void glPixelStorei(GLenum name, GLint value) {
  record("glPixelStorei", {double(name), double(value)});
  if (name == GL_UNPACK_ALIGNMENT) g_state.unpackAlignment = value;
  if (name == GL_UNPACK_ROW_LENGTH) g_state.unpackRowLength = value;
}
void glTexParameteri(GLenum target, GLenum name, GLint value) {
  record("glTexParameteri", {double(target), double(name), double(value)});
}
void glTexEnvf(GLenum target, GLenum name, GLfloat value) {
  record("glTexEnvf", {double(target), double(name), value});
  if (name == GL_TEXTURE_ENV_MODE) g_state.texEnvMode = value;
}
void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const GLvoid* pixels) {
  gl::Call& call = record("glTexImage2D", {double(target), double(level), double(internalFormat),
                                           double(width), double(height), double(border),
                                           double(format), double(type)});
  if (!pixels || type != GL_UNSIGNED_BYTE) return;
  // Read the texels the way GL unpacks them: row length and alignment from the pixel store.
  const int components = format == GL_RGBA ? 4 : format == GL_RGB ? 3 : format == GL_LUMINANCE_ALPHA ? 2 : 1;
  const size_t rowPixels = g_state.unpackRowLength > 0 ? g_state.unpackRowLength : width;
  const size_t align = g_state.unpackAlignment;
  const size_t stride = (rowPixels * components + align - 1) / align * align;
  const auto* source = static_cast<const uint8_t*>(pixels);
  for (GLsizei row = 0; row < height; ++row)
    call.pixels.insert(call.pixels.end(), source + row * stride, source + row * stride + size_t(width) * components);
}
void glGetIntegerv(GLenum name, GLint* value) {
  record("glGetIntegerv", {double(name)});
  if (name == GL_MAX_TEXTURE_SIZE) *value = g_state.maxTextureSize;
  else if (name == GL_VIEWPORT) std::memcpy(value, g_state.viewport.data(), sizeof(GLint) * 4);
  else *value = 0;
}
void glShadeModel(GLenum mode) {
  record("glShadeModel", {double(mode)});
  g_state.shadeModel = mode;
}
void glMaterialfv(GLenum face, GLenum name, const GLfloat* values) {
  gl::Call& call = record("glMaterialfv", {double(face), double(name)});
  call.args.insert(call.args.end(), values, values + 4);
}
void glFinish() { record("glFinish", {}); }
void glFlush() { record("glFlush", {}); }
GLenum glGetError() { return GL_NO_ERROR; }
const GLubyte* glGetString(GLenum) { return reinterpret_cast<const GLubyte*>("gl recorder"); }

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  record("gluPerspective", {fovy, aspect, zNear, zFar});
  const double f = 1.0 / std::tan(fovy * M_PI / 360.0);
  gl::Matrix m{};
  m[0] = f / aspect, m[5] = f, m[10] = (zFar + zNear) / (zNear - zFar), m[11] = -1;
  m[14] = 2 * zFar * zNear / (zNear - zFar);
  gl::multiplyCurrent(m);
}
void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
               GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
  record("gluLookAt", {eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ});
  double f[3] = {centerX - eyeX, centerY - eyeY, centerZ - eyeZ};
  const double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
  for (double& v : f) v /= fl;
  double s[3] = {f[1] * upZ - f[2] * upY, f[2] * upX - f[0] * upZ, f[0] * upY - f[1] * upX};
  const double sl = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
  for (double& v : s) v /= sl;
  const double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
  gl::Matrix m = {s[0], u[0], -f[0], 0, s[1], u[1], -f[1], 0, s[2], u[2], -f[2], 0, 0, 0, 0, 1};
  gl::multiplyCurrent(m);
  gl::Matrix t = gl::State::identity();
  t[12] = -eyeX, t[13] = -eyeY, t[14] = -eyeZ;
  gl::multiplyCurrent(t);
}
GLUquadric* gluNewQuadric() {
  record("gluNewQuadric", {});
  return g_state.newQuadricFails ? nullptr : new GLUquadric;
}
void gluDeleteQuadric(GLUquadric* quadric) {
  record("gluDeleteQuadric", {});
  delete quadric;
}
void gluQuadricTexture(GLUquadric* quadric, GLboolean texture) {
  record("gluQuadricTexture", {double(texture)});
  if (quadric) quadric->texture = texture;
}
void gluSphere(GLUquadric*, GLdouble radius, GLint slices, GLint stacks) {
  record("gluSphere", {radius, double(slices), double(stacks)});
}

}  // extern "C"
