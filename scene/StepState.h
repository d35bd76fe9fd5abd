#pragma once

#include <cstdint>

// What 60 Hz steps change in the scene while the ball rests and no key is held: the camera's
// phase, the floor's timing, the crowd's and the scroller's phases. Nothing else moves then, so
// these numbers and the floor's seed are the whole scene at a step.
struct StepState {
  float offset = 0.0f;       // the camera's phase
  float changeTime = 0.0f;   // since the floor's hues last changed
  uint64_t floorChanges = 0; // changes of hue since the floor was seeded
  float bounce = 0.0f;
  float scrollcalc = 0.0f;
  int32_t scrollpos = 0;

  bool operator==(const StepState&) const = default;
};

// Scene time at a step: the clock FixedSteps gives the scene.
inline double stepTime(long step) { return static_cast<double>(step) / 60.0; }

// The camera's phase after an update of `step` seconds.
inline void advanceCameraPhase(float& offset, float step) {
  constexpr float kPhaseDivisor = 2.5f;  // the phase grows by 0.4 per second
  offset += step / kPhaseDivisor;
}

// Takes `state` from step `from` to step `to` (from <= to) as Scene::advance does at each step
// between: the same single-precision sums in the same order, without the objects, the clock
// function or GL. A few nanoseconds a step.
void runSteps(StepState& state, long from, long to);
