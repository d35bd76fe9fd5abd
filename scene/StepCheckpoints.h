#pragma once

#include "scene/StepState.h"

// The stepped state of a scene started at step 0, every three hours of steps for a year and a
// day, worked out once by stepping (bench/make_step_checkpoints.cpp writes the table). Any step
// in that span is then at most three hours of runSteps away: a few milliseconds.
namespace step_checkpoints {

inline constexpr long kSpacing = 3L * 60 * 60 * 60;
inline constexpr long kLastStep = 366L * 24 * 60 * 60 * 60;  // one year and a day

// The state at `step` (0 or more) of a scene started at step 0. Past kLastStep it steps on from
// the last checkpoint: about a second for every three days beyond.
StepState stateAt(long step);

}  // namespace step_checkpoints
