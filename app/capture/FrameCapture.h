#pragma once

#include <memory>

#include "platform/Rect.h"

class Scene;

// The demo's scene on a simulated clock. Time moves only in 60 Hz steps, each one a full
// update and draw as in the running demo, so that the state at a scene time is the state the
// demo shows then (the scroller, for one, moves at most a cell per frame).
class FrameCapture {
 public:
  static constexpr double kStepsPerSecond = 60.0;

  // Makes the scene (floor colours from `seed`, no music) and prepares it in the current GL
  // context. Scene time starts at 0 there.
  FrameCapture(Rect viewport, unsigned seed);
  ~FrameCapture();

  // Steps up to the frame nearest `sceneTime` (never backwards) and draws it into the viewport.
  // The steps before it are drawn into a single pixel, where they cost almost nothing.
  void renderAt(double sceneTime);

  Scene& scene() { return *scene_; }
  long frame() const { return frame_; }

 private:
  Rect viewport_;
  double now_ = 0.0;
  long frame_ = 0;
  std::unique_ptr<Scene> scene_;
};
