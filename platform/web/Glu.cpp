// The GLU calls the scene makes, for the browser, as the desktop's GLU computes them (the camera
// in single precision, the projection in double), multiplied onto the layer's current matrix.
// The scene never draws the ball, so there are no quadrics.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

namespace {

void normalize(GLfloat v[3]) {
  const GLfloat length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (length == 0.0f) return;
  for (int i = 0; i < 3; ++i) v[i] /= length;
}

void cross(const GLfloat a[3], const GLfloat b[3], GLfloat out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

}  // namespace

extern "C" {

void discoLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
                 GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
  GLfloat forward[3] = {static_cast<GLfloat>(centerX - eyeX), static_cast<GLfloat>(centerY - eyeY),
                        static_cast<GLfloat>(centerZ - eyeZ)};
  const GLfloat upIn[3] = {static_cast<GLfloat>(upX), static_cast<GLfloat>(upY), static_cast<GLfloat>(upZ)};
  normalize(forward);
  GLfloat side[3], up[3];
  cross(forward, upIn, side);
  normalize(side);
  cross(side, forward, up);
  // Column-major: the rows of the rotation are side, up and -forward.
  const GLfloat m[16] = {side[0], up[0], -forward[0], 0.0f, side[1], up[1], -forward[1], 0.0f,
                         side[2], up[2], -forward[2], 0.0f, 0.0f,    0.0f,  0.0f,        1.0f};
  glMultMatrixf(m);
  glTranslated(-eyeX, -eyeY, -eyeZ);
}

void discoPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  const double radians = fovy / 2 * M_PI / 180;
  const double depth = zFar - zNear;
  const double sine = std::sin(radians);
  if (depth == 0 || sine == 0 || aspect == 0) return;
  const double cotangent = std::cos(radians) / sine;
  const GLdouble m[16] = {cotangent / aspect, 0, 0, 0, 0, cotangent, 0, 0,
                          0, 0, -(zFar + zNear) / depth, -1, 0, 0, -2 * zNear * zFar / depth, 0};
  glMultMatrixd(m);
}

// The scene never draws the ball, so no quadric is ever made; a null quadric is what a desktop
// GLU out of memory gives, and the ball's code copes with it.
GLUquadric* discoNewQuadric(void) { return nullptr; }
void discoDeleteQuadric(GLUquadric*) {}
void discoQuadricTexture(GLUquadric*, GLboolean) {}
void discoSphere(GLUquadric*, GLdouble, GLint, GLint) {}

}  // extern "C"
