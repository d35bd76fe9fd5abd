#include "scene/FixedSteps.h"

#include "scene/StepCheckpoints.h"

void FixedSteps::stepTo(Scene& scene, long target) {
  if (target <= step_) return;
  if (target - step_ > kJumpSteps && scene.onlySteppedStateMoves()) {
    // One update first: it takes in the last step if no frame drew it, as the loop below would.
    takeStep();
    scene.advance();
    jump(scene, target - 1);
  }
  while (step_ + 1 < target) {
    takeStep();
    scene.advance();
  }
  takeStep();
}

void FixedSteps::jump(Scene& scene, long last) {
  // A scene that has only ever been stepped from 0 is at the checkpoints' state, and they take
  // it anywhere; any other (a restarted crowd, a merged step) is stepped from where it is.
  StepState state = scene.steppedState();
  if (scene.lastClockReading() == now_ && state == step_checkpoints::stateAt(step_))
    state = step_checkpoints::stateAt(last);
  else
    runSteps(state, step_, last);
  step_ = last;
  now_ = stepTime(last);
  scene.setSteppedState(state, now_);
}

void FixedSteps::restart(Scene& scene, unsigned int floorSeed) {
  step_ = 0;
  now_ = 0.0;
  scene.restart(floorSeed);
}
