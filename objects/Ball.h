#pragma once

#include "objects/SceneObject.h"

// A ball rolling on the floor plane, pushed by an acceleration.
class Ball : public SceneObject {
 public:
  explicit Ball(float radius);
  void setAcceleration(float x, float z);
  void updateWithDiffTime(float dt);
  void render();
};
