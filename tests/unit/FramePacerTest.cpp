#include <gtest/gtest.h>

#include <cmath>

#include "platform/FramePacer.h"

namespace {

constexpr double kPeriod = 1.0 / 60.0;

// Runs a frame loop for `seconds` with the given swap behaviour; returns the frames made.
template <typename Swap>
int framesIn(double seconds, const FramePacer& pacer, Swap swapEndFor) {
  double start = 0.0;
  int frames = 0;
  while (start < seconds) {
    const double swapEnd = swapEndFor(start, frames);
    start = pacer.frameDone(start, swapEnd);
    ++frames;
  }
  return frames;
}

TEST(FramePacer, HoldsSwapsThatReturnAtOnceToTheRefreshRate) {
  const FramePacer pacer(60.0);
  EXPECT_EQ(framesIn(10.0, pacer, [](double start, int) { return start + 0.001; }), 600);  // not 10000
  EXPECT_EQ(framesIn(10.0, pacer, [](double start, int) { return start + 0.012; }), 600);  // not 833
}

TEST(FramePacer, NeverCostsAFrameWhereSwapsWaitForTheRetrace) {
  const FramePacer pacer(60.0);
  // Swaps return at the next retrace, with a little jitter either way; drawing takes 30-90%.
  auto retrace = [](double start, int frame) {
    const double drawn = start + kPeriod * (0.3 + 0.6 * ((frame * 7919) % 100) / 100.0);
    const double jitter = ((frame % 3) - 1) * 0.0002;
    return std::ceil(drawn / kPeriod) * kPeriod + jitter;
  };
  EXPECT_EQ(framesIn(10.0, pacer, retrace), 600);
}

TEST(FramePacer, ASlowFrameIsFollowedAtOnceWithoutCatchingUp) {
  const FramePacer pacer(0.0);  // unknown rate: 60 Hz
  EXPECT_DOUBLE_EQ(pacer.period(), kPeriod);
  EXPECT_EQ(pacer.frameDone(5.0, 6.0), 6.0);  // a one-second stall: go on at once
  EXPECT_DOUBLE_EQ(pacer.frameDone(6.0, 6.001), 6.0 + kPeriod);
}

}  // namespace
