#pragma once

#include <cmath>

#include "scene/Scene.h"

// Scene time in fixed steps of 1/60 s. The scene's state after n steps is the same whenever
// and wherever they are taken, so any moment can be drawn exactly (frame capture), and screens
// that agree on a start draw the same frame at the same moment (a party).
class FixedSteps {
 public:
  static constexpr double kStepsPerSecond = 60.0;
  // The latest scene time a jump reaches in milliseconds: a year and a day (see StepCheckpoints.h).
  static constexpr double kLatestQuickTime = 366.0 * 24 * 60 * 60;
  // Jumps longer than this many steps skip the objects and work on their numbers.
  static constexpr long kJumpSteps = 600;

  // The step nearest a scene time.
  static long stepAt(double sceneTime) { return std::lround(sceneTime * kStepsPerSecond); }

  // The clock to make the scene with: scene time 0 until the first step.
  Scene::Clock clock() {
    return [this] { return now_; };
  }

  // Takes the scene up to `target` (never backwards): every step but the last is advanced
  // without drawing, the last is left to the caller's render(). With nothing to take, render()
  // draws the same moment again. The result is the same, float for float, as stepping one by one.
  // A jump of any length up to kLatestQuickTime takes a few milliseconds, in this call, when the
  // ball rests and no key is held, and the scene has been stepped only here since step 0 or a
  // restart. Otherwise: some 5 ns a step from where the scene is, or, with the ball moving,
  // an update a step (some 0.1 us).
  void stepTo(Scene& scene, long target);

  // Back to step 0 with a new floor seed, the scene as new (Scene::restart): the following
  // stepTo(scene, n) leaves it as a new scene made on this clock with that seed would be after
  // the same stepTo. For a party member taking an older party's start and seed.
  void restart(Scene& scene, unsigned int floorSeed);

  long step() const { return step_; }

 private:
  void takeStep() { now_ = static_cast<double>(++step_) / kStepsPerSecond; }
  // Advances the scene from step_ to `last` by its stepped state alone.
  void jump(Scene& scene, long last);

  double now_ = 0.0;
  long step_ = 0;
};
