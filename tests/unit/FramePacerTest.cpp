#include <gtest/gtest.h>

#include "platform/FramePacer.h"

namespace {

constexpr double kPeriod = 1.0 / 60.0;

TEST(FramePacer, LeavesADriverThatWaitsForTheRetraceAlone) {
  FramePacer pacer(60.0);
  double start = 0.0;
  for (int frame = 0; frame < 100; ++frame) {
    const double swapEnd = start + kPeriod * (frame % 2 ? 0.97 : 1.03);  // jitter around one period
    EXPECT_EQ(pacer.frameDone(start, swapEnd), swapEnd) << frame;
    start = swapEnd;
  }
  EXPECT_FALSE(pacer.pacing());
}

TEST(FramePacer, PacesSwapsThatReturnAtOnceToTheRefreshRate) {
  FramePacer pacer(60.0);
  double start = 0.0;
  int frames = 0;
  while (start < 10.0) {
    const double swapEnd = start + 0.001;  // a 1 ms frame
    const double next = pacer.frameDone(start, swapEnd);
    start = std::max(next, swapEnd);
    ++frames;
  }
  EXPECT_TRUE(pacer.pacing());
  EXPECT_NEAR(frames, 600, 5);  // 60 a second, not 10000
}

TEST(FramePacer, HandsBackWhenSwapsWaitAgainAndNeverCatchesUpAfterAStall) {
  FramePacer pacer(0.0);  // unknown rate: 60 Hz
  EXPECT_DOUBLE_EQ(pacer.period(), kPeriod);
  double start = 0.0;
  for (int i = 0; i < 5; ++i) start = pacer.frameDone(start, start + 0.001);
  ASSERT_TRUE(pacer.pacing());
  // A one-second stall: the next frame starts at once, not many frames in a burst after it.
  const double stallEnd = start + 1.0;
  EXPECT_EQ(pacer.frameDone(start, stallEnd), stallEnd);
  EXPECT_FALSE(pacer.pacing());  // a long frame means the swap paced again
}

}  // namespace
