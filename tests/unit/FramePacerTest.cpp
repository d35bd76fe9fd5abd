#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/window/FramePacer.h"

namespace {

// 0..1, the same for the same frame and purpose whatever the loop did before.
double noise(long frame, uint32_t purpose) {
  uint32_t x = static_cast<uint32_t>(frame) * 2654435761u ^ purpose * 40503u;
  x ^= x >> 15;
  x *= 2246822519u;
  x ^= x >> 13;
  return (x >> 8) / double(1u << 24);
}

// A frame loop over simulated time on a display of the given true rate. Each frame draws for
// 20-80 % of a period, then swaps; where swaps wait, the swap returns at the next free retrace,
// woken a little after it (now and then 3 ms late, as on a busy machine). A sleep overshoots a
// little. Returns the number of frames shown within `seconds`.
int framesShown(double rate, bool swapsWait, FramePacer* pacer, double seconds = 60.0) {
  const double period = 1.0 / rate;
  const double phase = 0.37 * period;  // retraces need not line up with the clock's zero
  double start = 0.0;
  long lastRetrace = -1;
  int frames = 0;
  for (long frame = 0; start < seconds; ++frame) {
    const double drawn = start + period * (0.2 + 0.6 * noise(frame, 1));
    double swapEnd = drawn + 0.001;
    if (swapsWait) {
      lastRetrace = std::max(lastRetrace + 1, long(std::ceil((drawn - phase) / period)));
      const double lateness = noise(frame, 2) < 0.02 ? 0.003 : 0.0002 * noise(frame, 3);
      swapEnd = phase + lastRetrace * period + lateness;
    }
    ++frames;
    const double next = pacer ? pacer->frameDone(swapEnd) : swapEnd;
    start = next > swapEnd ? next + 0.0001 * noise(frame, 4) : swapEnd;
  }
  return frames;
}

TEST(FramePacer, WhereSwapsWaitNoRetraceIsMissedThatAnUnpacedLoopMakes) {
  // True rates, each paced with the rate RandR gives and with SDL's whole-number rounding.
  for (const double rate : {59.94, 60.05, 74.76, 144.0}) {
    const int unpaced = framesShown(rate, true, nullptr);
    EXPECT_NEAR(unpaced, 60.0 * rate, 0.02 * 60.0 * rate);  // the late wake-ups cost a few
    for (const double reported : {rate, std::round(rate)}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz paced at " << reported << " Hz");
      FramePacer pacer(reported);
      EXPECT_EQ(framesShown(rate, true, &pacer), unpaced);
      EXPECT_FALSE(pacer.holding());
    }
  }
}

TEST(FramePacer, WhereSwapsReturnAtOnceFramesAreHeldToTheTrueRate) {
  for (const double rate : {59.94, 60.05, 74.76, 144.0}) {
    SCOPED_TRACE(rate);
    FramePacer pacer(rate);
    // Unpaced, this loop would make about twice as many frames as the display shows.
    EXPECT_NEAR(framesShown(rate, false, &pacer), 60.0 * rate, 3.0);
    EXPECT_TRUE(pacer.holding());
  }
  FramePacer unknown(0.0);
  EXPECT_NEAR(framesShown(60.0, false, &unknown), 3600, 3.0);
}

TEST(FramePacer, HeldFramesGoOnAtOnceAfterASlowOneWithoutCatchingUp) {
  FramePacer pacer(50.0);
  double t = 0.0;
  for (int frame = 0; frame < 10; ++frame) t = pacer.frameDone(t + 0.001);  // swaps that return at once
  ASSERT_TRUE(pacer.holding());
  EXPECT_DOUBLE_EQ(pacer.frameDone(t + 1.0), t + 1.0);  // a one-second stall: go on at once
  EXPECT_DOUBLE_EQ(pacer.frameDone(t + 1.001), t + 1.02);  // then a period apart again
}

}  // namespace
