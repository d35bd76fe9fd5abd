#pragma once

#include "objects/SceneObject.h"
#include "support/Quaternion.h"

// A ball rolling on the floor plane, pushed by a horizontal acceleration and slowed by linear
// damping. Its orientation follows the distance it rolls, as if it rolled without sliding.
class Ball : public SceneObject {
 public:
  // World units (or units per second, per second squared). Only x and z ever change.
  struct Vector {
    float x = 0.0f, y = 0.0f, z = 0.0f;
  };

  // The radius should be greater than 0; a ball without one moves but does not roll.
  explicit Ball(float radius);

  // Horizontal acceleration in units per second squared; y stays as it was.
  void setAcceleration(float x, float z);
  // Advances velocity, position and orientation by dt seconds (semi-implicit Euler).
  void updateWithDiffTime(float dt);
  // The floor point the ball rests on; its centre is one radius above. A null out is ignored.
  void getPosition(Vector* out) const;
  // A textured sphere at the ball's place and orientation, into the current modelview matrix.
  // Leaves the flat shade model and the front material behind; enables and binds nothing.
  void render();

  float getRadius() const { return ballRadius; }
  Vector getAcceleration() const { return acceleration; }
  Vector getVelocity() const { return velocity; }
  quat_t getRotation() const { return rotationQuat; }

 private:
  float ballRadius;
  Vector acceleration;
  Vector velocity;
  Vector position;
  quat_t rotationQuat;
};
