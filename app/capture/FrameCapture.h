#pragma once

#include <memory>

#include "platform/Rect.h"
#include "scene/FixedSteps.h"

class Scene;

// The demo's scene on a simulated clock. Time moves only in 60 Hz steps, each one a full
// update as in the running demo, so that the state at a scene time is the state the demo shows
// then (the scroller, for one, moves at most a cell per frame).
class FrameCapture {
 public:
  static constexpr double kStepsPerSecond = FixedSteps::kStepsPerSecond;

  // Makes the scene (floor colours from `seed`, no music) and prepares it in the current GL
  // context. Scene time starts at 0 there.
  FrameCapture(Rect viewport, unsigned seed);
  ~FrameCapture();

  // Steps up to the frame nearest `sceneTime` (never backwards) and draws it into the viewport.
  // The steps before it are taken without drawing.
  void renderAt(double sceneTime);

  Scene& scene() { return *scene_; }
  long frame() const { return steps_.step(); }

 private:
  Rect viewport_;
  FixedSteps steps_;
  std::unique_ptr<Scene> scene_;
};
