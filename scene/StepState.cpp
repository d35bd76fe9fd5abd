#include "scene/StepState.h"

#include "objects/DiscoFloor.h"
#include "objects/Scroller.h"
#include "objects/Ventjes.h"

void runSteps(StepState& state, long from, long to) {
  // Locals, so that the sums stay in registers.
  float offset = state.offset, changeTime = state.changeTime, bounce = state.bounce, scrollcalc = state.scrollcalc;
  int32_t scrollpos = state.scrollpos;
  uint64_t changes = state.floorChanges;
  double before = stepTime(from);
  for (long n = from + 1; n <= to; ++n) {
    const double now = stepTime(n);
    const float dt = static_cast<float>(now - before);  // as Scene::readClock
    before = now;
    changes += DiscoFloor::passTime(changeTime, dt) ? 1 : 0;
    Ventjes::advance(bounce, scrollcalc, scrollpos, dt);
    advanceCameraPhase(offset, dt);
    passScrollLine(scrollpos);
  }
  state = StepState{offset, changeTime, changes, bounce, scrollcalc, scrollpos};
}
