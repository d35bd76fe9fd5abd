#pragma once

#include "objects/SceneObject.h"

// A sizeW x sizeH grid of textured tiles in the plane y = 0, re-coloured at random every 0.4 s.
class DiscoFloor : public SceneObject {
 public:
  DiscoFloor(int sizeW, int sizeH);
  ~DiscoFloor();
  void prepare();
  void updateWithDiffTime(float dt);
  void render();
};
