#pragma once

#include <atomic>

#include "platform/audio/LoopFeed.h"

// The loop as it comes: pass after pass while the caller wants it to go round, and the output
// takes whatever is decoded, then silence (an underrun, or the end).
class FreeLoop final : public LoopFeed {
 public:
  // `playing` and `loops`: what the caller said last, read as each pass ends.
  FreeLoop(AudioLoop& loop, AudioRing& ring, const std::atomic<bool>& playing, const std::atomic<bool>& loops);

  bool decode() override;
  void fill(float* out, size_t count, double untilHeard, double drift) override;

 private:
  const std::atomic<bool>& playing_;
  const std::atomic<bool>& loops_;
};
