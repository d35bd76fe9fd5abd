#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/window/FramePacer.h"

namespace {

// 0..1, the same for the same key and purpose whatever the loop did before.
double noise(long key, uint32_t purpose) {
  uint32_t x = static_cast<uint32_t>(key) * 2654435761u ^ purpose * 40503u;
  x ^= x >> 15;
  x *= 2246822519u;
  x ^= x >> 13;
  return (x >> 8) / double(1u << 24);
}

// A frame loop on a display of the given true rate, over simulated time.
struct Loop {
  double rate;
  // A frame takes this many periods to draw and swap, at random in between.
  double leastPeriods = 0.2, mostPeriods = 0.8;
  // Whether swaps wait for the retrace at a time (a compositor switches on or off): where they
  // do, a swap returns at the next free retrace, woken a little after it (now and then 3 ms late,
  // as on a busy machine); elsewhere it returns at once.
  std::function<bool(double)> swapsWait = [](double) { return false; };
};

struct Frame {
  double swapEnd;  // when its swap returned
  double slept;    // how long the loop waited after that before starting the next frame
  bool operator==(const Frame&) const = default;
};

// The frames a loop swaps within `seconds`. A sleep overshoots a little. Chance is drawn per
// retrace period, so that two loops doing the same from some frame on stay alike.
std::vector<Frame> run(const Loop& loop, FramePacer* pacer, double seconds = 60.0) {
  const double period = 1.0 / loop.rate;
  const double phase = 0.37 * period;  // retraces need not line up with the clock's zero
  std::vector<Frame> frames;
  double start = 0.0;
  long lastRetrace = -1;
  while (start < seconds) {
    const long slot = long(std::floor(start / period));
    const double share = loop.leastPeriods + (loop.mostPeriods - loop.leastPeriods) * noise(slot, 1);
    double swapEnd = start + share * period;
    if (loop.swapsWait(swapEnd)) {
      lastRetrace = std::max(lastRetrace + 1, long(std::ceil((swapEnd - phase) / period)));
      const double lateness = noise(lastRetrace, 2) < 0.02 ? 0.003 : 0.0002 * noise(lastRetrace, 3);
      swapEnd = phase + lastRetrace * period + lateness;
    }
    const double next = pacer ? pacer->frameDone(swapEnd) : swapEnd;
    start = next > swapEnd ? next + 0.0001 * noise(slot, 4) : swapEnd;
    if (swapEnd < seconds) frames.push_back({swapEnd, start - swapEnd});
  }
  return frames;
}

long framesBetween(const std::vector<Frame>& frames, double from, double to) {
  return std::count_if(frames.begin(), frames.end(),
                       [&](const Frame& f) { return f.swapEnd >= from && f.swapEnd < to; });
}

double sleptBetween(const std::vector<Frame>& frames, double from, double to) {
  double slept = 0.0;
  for (const Frame& f : frames) slept += f.swapEnd >= from && f.swapEnd < to ? f.slept : 0.0;
  return slept;
}

// Empty when two loops made the same frames, else where they first part.
std::string parting(const std::vector<Frame>& a, const std::vector<Frame>& b) {
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    if (!(a[i] == b[i])) {
      return "frame " + std::to_string(i) + ": swap at " + std::to_string(a[i].swapEnd) + " s, then slept " +
             std::to_string(a[i].slept) + " s; the other at " + std::to_string(b[i].swapEnd) + " s, slept " +
             std::to_string(b[i].slept) + " s";
    }
  }
  return a.size() == b.size() ? "" : std::to_string(a.size()) + " frames against " + std::to_string(b.size());
}

bool always(double) { return true; }

TEST(FramePacer, WhereSwapsWaitFramesRunAsTheyWouldUnpaced) {
  // Light frames, and heavy ones that now and then take two or three retraces.
  for (const auto& [least, most] : {std::pair{0.2, 0.8}, std::pair{0.5, 2.2}}) {
    // True rates, each paced with the rate RandR gives and with SDL's whole-number rounding.
    for (const double rate : {59.94, 60.05, 74.76, 144.0}) {
      const Loop loop{rate, least, most, always};
      const auto unpaced = run(loop, nullptr);
      if (most < 1.0) {
        EXPECT_NEAR(unpaced.size(), 60.0 * rate, 0.02 * 60.0 * rate);  // late wake-ups cost a few
      }
      for (const double reported : {rate, std::round(rate)}) {
        SCOPED_TRACE(testing::Message() << rate << " Hz paced at " << reported << " Hz, frames of "
                                        << least << "-" << most << " periods");
        FramePacer pacer(reported);
        EXPECT_EQ(parting(run(loop, &pacer), unpaced), "");
      }
    }
  }
}

TEST(FramePacer, WhereSwapsReturnAtOnceFramesAreHeldToTheTrueRate) {
  // Quick frames, and frames that take nearly a whole period.
  for (const auto& [least, most] : {std::pair{0.2, 0.8}, std::pair{0.75, 0.92}}) {
    for (const double rate : {59.94, 60.05, 74.76, 144.0}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, frames of " << least << "-" << most << " periods");
      FramePacer pacer(rate);
      EXPECT_NEAR(run({rate, least, most}, &pacer).size(), 60.0 * rate, 3.0);
    }
  }
  FramePacer unknown(0.0);
  EXPECT_NEAR(run({60.0}, &unknown).size(), 3600, 3.0);
}

TEST(FramePacer, FramesSlowerThanTheDisplayOnSwapsThatReturnAtOnceStartAtOnce) {
  for (const double rate : {59.94, 144.0}) {
    SCOPED_TRACE(rate);
    const Loop heavy{rate, 1.05, 1.6};
    FramePacer pacer(rate);
    EXPECT_EQ(parting(run(heavy, &pacer), run(heavy, nullptr)), "");
  }
}

double longestSleep(const std::vector<Frame>& frames) {
  double longest = 0.0;
  for (const Frame& f : frames) longest = std::max(longest, f.slept);
  return longest;
}

TEST(FramePacer, FollowsSwapsThatStopAndStartWaitingMidRun) {
  // A compositor that switches off after 10 s and on again after 30 s; the last display is
  // faster than it says (a compositor's timer of whole milliseconds: 16 ms for 60 Hz).
  for (const auto& [rate, reported] : {std::pair{59.94, 59.94}, std::pair{144.0, 144.0}, std::pair{62.5, 60.0}}) {
    SCOPED_TRACE(testing::Message() << rate << " Hz said as " << reported);
    const Loop loop{rate, 0.2, 0.8, [](double t) { return t < 10.0 || t >= 30.0; }};
    FramePacer pacer(reported);
    const auto paced = run(loop, &pacer);
    // A held frame waits at most for its slot on the grid: two periods after a frame that
    // started early to look at the swaps.
    EXPECT_LT(longestSleep(paced), 2.0 / reported);
    if (rate != reported) continue;  // held to the rate it says, the rest differs
    EXPECT_NEAR(framesBetween(paced, 12.0, 30.0), 18.0 * rate, 3.0);
    // Once swaps wait again, within a second or two the loop runs as if it had never been held:
    // no retrace missed, and no sleep after a swap that waited.
    EXPECT_NEAR(framesBetween(paced, 32.0, 60.0), framesBetween(run(loop, nullptr), 32.0, 60.0), 1.0);
    EXPECT_EQ(sleptBetween(paced, 32.0, 60.0), 0.0);
  }
}

TEST(FramePacer, HeldFramesGoOnAtOnceAfterASlowOneWithoutCatchingUp) {
  FramePacer pacer(50.0);
  double t = 0.0;
  for (int frame = 0; frame < 10; ++frame) t = pacer.frameDone(t + 0.001);  // swaps that return at once
  ASSERT_TRUE(pacer.holding());
  EXPECT_DOUBLE_EQ(pacer.frameDone(t + 0.03), t + 0.03);  // a frame of 1.5 periods: go on at once
  EXPECT_DOUBLE_EQ(pacer.frameDone(t + 0.031), t + 0.05);  // then a period apart again
  t += 0.05;
  EXPECT_DOUBLE_EQ(pacer.frameDone(t + 1.005), t + 1.005);  // the same after a stall of a second
  EXPECT_DOUBLE_EQ(pacer.frameDone(t + 1.006), t + 1.025);
}

}  // namespace
