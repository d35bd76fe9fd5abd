#pragma once

#include <cmath>

#include "scene/Scene.h"

// Scene time in fixed steps of 1/60 s. The scene's state after n steps is the same whenever
// and wherever they are taken, so any moment can be drawn exactly (frame capture), and screens
// that agree on a start draw the same frame at the same moment (a party).
class FixedSteps {
 public:
  static constexpr double kStepsPerSecond = 60.0;

  // The step nearest a scene time.
  static long stepAt(double sceneTime) { return std::lround(sceneTime * kStepsPerSecond); }

  // The clock to make the scene with: scene time 0 until the first step.
  Scene::Clock clock() {
    return [this] { return now_; };
  }

  // Takes the scene up to `target` (never backwards): every step but the last is advanced
  // without drawing, the last is left to the caller's render(). With nothing to take, render()
  // draws the same moment again.
  void stepTo(Scene& scene, long target) {
    if (target <= step_) return;
    while (step_ + 1 < target) {
      now_ = static_cast<double>(++step_) / kStepsPerSecond;
      scene.advance();
    }
    now_ = static_cast<double>(++step_) / kStepsPerSecond;
  }

  long step() const { return step_; }

 private:
  double now_ = 0.0;
  long step_ = 0;
};
