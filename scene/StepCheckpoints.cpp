#include "scene/StepCheckpoints.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace {
// The floats as their bits, so that the table is exact whatever the compiler's decimal reading.
struct Checkpoint {
  uint32_t offset;
  uint32_t changeTime;
  uint64_t floorChanges;
  uint32_t bounce;
  uint32_t scrollcalc;
  int32_t scrollpos;
};

constexpr Checkpoint kCheckpoints[] = {
#include "scene/StepCheckpointTable.inc"
};
constexpr long kCount = static_cast<long>(std::size(kCheckpoints));
static_assert((kCount - 1) * step_checkpoints::kSpacing == step_checkpoints::kLastStep,
              "one checkpoint at step 0 and one at every spacing up to the last step");

// std::bit_cast, which the web build's C++ library lacks.
float floatOf(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

StepState stateOf(const Checkpoint& c) {
  return StepState{floatOf(c.offset),  floatOf(c.changeTime), c.floorChanges,
                   floatOf(c.bounce),  floatOf(c.scrollcalc), c.scrollpos};
}
}  // namespace

StepState step_checkpoints::stateAt(long step) {
  const long index = std::clamp(step / kSpacing, 0L, kCount - 1);
  StepState state = stateOf(kCheckpoints[index]);
  runSteps(state, index * kSpacing, step);
  return state;
}
