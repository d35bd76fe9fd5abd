#include "objects/Ball.h"

#include <GL/gl.h>
#include <GL/glu.h>

namespace {
constexpr double kDamping = 0.4;  // per second: the speed tends to 2.5 x the acceleration
constexpr double kPi = 3.141592653589793;
constexpr float kFullTurnDegrees = 360.0f;
constexpr GLint kSlices = 24;
constexpr GLint kStacks = 16;
}  // namespace

Ball::Ball(float radius) : ballRadius(radius) { QuatSetRotation(&rotationQuat, 0.0f, 0.0f, 0.0f, 0.0f); }

void Ball::setAcceleration(float x, float z) {
  acceleration.x = x;
  acceleration.z = z;
}

void Ball::updateWithDiffTime(float dt) {
  const float x0 = position.x;
  const float z0 = position.z;

  // The damping reads the velocity from before this step and is worked out in double.
  const float effectiveX = static_cast<float>(double(acceleration.x) - kDamping * double(velocity.x));
  const float effectiveZ = static_cast<float>(double(acceleration.z) - kDamping * double(velocity.z));
  velocity.x = velocity.x + effectiveX * dt;
  velocity.z = velocity.z + effectiveZ * dt;
  // Semi-implicit: the position moves with the velocity just computed.
  position.x = position.x + velocity.x * dt;
  position.z = position.z + velocity.z * dt;

  // Without a positive circumference there is no sensible roll angle: the ball slides.
  const float circumference = static_cast<float>((double(ballRadius) + double(ballRadius)) * kPi);
  if (!(circumference > 0.0f)) return;

  // One circumference travelled is one full turn, measured on the actual change of position.
  const float angleZ = ((position.z - z0) / circumference) * kFullTurnDegrees;
  const float angleX = ((position.x - x0) / circumference) * kFullTurnDegrees;

  // Moving toward +z rolls about +x, toward +x about -z; the z roll is composed first. Each new
  // roll comes after the accumulated orientation, about world axes.
  quat_t roll;
  QuatSetRotation(&roll, angleZ, 1.0f, 0.0f, 0.0f);
  QuatMultiply(&rotationQuat, &rotationQuat, &roll);
  QuatSetRotation(&roll, angleX, 0.0f, 0.0f, -1.0f);
  QuatMultiply(&rotationQuat, &rotationQuat, &roll);
}

void Ball::getPosition(Vector* out) const {
  if (out) *out = position;
}

void Ball::render() {
  const GLfloat ambient[4] = {0.1f, 0.1f, 0.1f, 0.0f};
  const GLfloat diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};

  glPushMatrix();
  glTranslatef(position.x, position.y + ballRadius, position.z);
  float rotation[16];
  QuatCreateMatrix(&rotationQuat, rotation);
  glMultMatrixf(rotation);
  glShadeModel(GL_FLAT);

  GLUquadric* sphere = gluNewQuadric();
  if (sphere) gluQuadricTexture(sphere, GL_TRUE);
  glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
  glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
  // Out of memory for a quadric: the materials are still set, only the sphere is missing.
  if (sphere) {
    gluSphere(sphere, double(ballRadius), kSlices, kStacks);
    gluDeleteQuadric(sphere);
  }
  glPopMatrix();
}
