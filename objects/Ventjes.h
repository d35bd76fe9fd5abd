#pragma once

// The backdrop discs, the text scroller and the ring of dancers around the logo.
class Ventjes {
 public:
  Ventjes();
  ~Ventjes();
  void prepare();
  void updateWithDiffTime(float dt);
  void render();
};
