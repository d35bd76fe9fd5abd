// Writes scene/StepCheckpointTable.inc: the stepped state of a fresh scene at every
// step_checkpoints::kSpacing steps up to kLastStep, by stepping all the way (some seconds).
//   make_step_checkpoints > scene/StepCheckpointTable.inc
#include <bit>
#include <cinttypes>
#include <cstdio>

#include "scene/StepCheckpoints.h"

int main() {
  std::printf("// Written by bench/make_step_checkpoints.cpp: {offset, changeTime, floorChanges, bounce,\n"
              "// scrollcalc, scrollpos} at every %ld steps from step 0, the floats as bits.\n",
              step_checkpoints::kSpacing);
  StepState state;
  for (long step = 0;; step += step_checkpoints::kSpacing) {
    std::printf("{0x%08" PRIx32 "u, 0x%08" PRIx32 "u, %" PRIu64 "u, 0x%08" PRIx32 "u, 0x%08" PRIx32 "u, %" PRId32 "},\n",
                std::bit_cast<uint32_t>(state.offset), std::bit_cast<uint32_t>(state.changeTime), state.floorChanges,
                std::bit_cast<uint32_t>(state.bounce), std::bit_cast<uint32_t>(state.scrollcalc), state.scrollpos);
    if (step >= step_checkpoints::kLastStep) break;
    runSteps(state, step, step + step_checkpoints::kSpacing);
  }
}
