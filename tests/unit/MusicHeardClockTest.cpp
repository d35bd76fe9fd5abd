#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "platform/audio/HeardClock.h"

namespace {

constexpr double kCycle = 8192.0 / 48000;  // a PipeWire graph cycle, one report each

// A sound server's reports as a busy machine's PipeWire gives them: the truth (when frame 0 was
// heard: it moves on by `stall` at report `stallAt`), each off by when the server answered after
// its cycle: mostly within half a millisecond, one in eight 5 to 40 ms late, one in twenty up to
// 4 ms early, and for a while now and then all of them some milliseconds later (`busyFrom`, for
// `busyFor` reports). Around a stall the server answers two reports with what it had read before
// it, over a stall late, and the next five 20 to 40 ms late as it catches up.
struct Reports {
  double truth = 1000.0;
  int stallAt = -1;
  double stall = 0;
  int busyFrom = -1, busyFor = 0;
  double busy = 0;
  std::mt19937 random{7};

  double late(int k) {
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    double by = 0.0005 * uniform(random);
    if (random() % 8 == 0) by += 0.005 + 0.035 * uniform(random);
    if (random() % 20 == 0) by -= 0.004 * uniform(random);
    if (k >= busyFrom && k < busyFrom + busyFor) by += busy;
    if (stallAt >= 0 && k >= stallAt && k < stallAt + 2) by += stall * (1.5 + uniform(random));
    if (stallAt >= 0 && k >= stallAt + 2 && k < stallAt + 7) by += 0.02 + 0.02 * uniform(random);
    return by;
  }

  double next(int k) {
    if (k == stallAt) truth += stall;
    return truth + late(k);
  }
};

// Ten minutes of reports through a clock: how far off it is told at worst from report `judgedFrom`.
struct Told {
  HeardClock clock;
  double worst = 0;
  int unknown = 0;  // reports after which nothing was told
};

Told play(Reports& reports, int judgedFrom, int count = static_cast<int>(600 / kCycle)) {
  Told run;
  for (int k = 0; k < count; ++k) {
    run.clock.note(reports.next(k));
    if (!run.clock.known()) {
      ++run.unknown;
      continue;
    }
    if (k >= judgedFrom) run.worst = std::max(run.worst, std::fabs(run.clock.heardZero() - reports.truth));
  }
  return run;
}

// Ten minutes of a busy machine's answers, late by up to 40 ms one in eight, early by up to 4 ms
// one in twenty: the clock holds to the truth within the prompt answers' half millisecond, and
// never takes the late ones for a move.
TEST(MusicHeardClock, HoldsToThePromptAnswersAmongLateOnes) {
  Reports reports;
  const Told run = play(reports, 0);
  EXPECT_EQ(run.clock.moves(), 0u);
  EXPECT_LT(run.worst, 0.0006);
  EXPECT_EQ(run.unknown, static_cast<int>(HeardClock::kTrusted) - 1);  // the first reports only
}

// Fifteen seconds in which every answer is 7 ms later still (the server's process waiting for a
// busy core): the clock follows them no further than that, and takes it for no move.
TEST(MusicHeardClock, TakesABusySpellForNoMove) {
  Reports reports;
  reports.busyFrom = 300;
  reports.busyFor = static_cast<int>(15 / kCycle);
  reports.busy = 0.007;
  const Told run = play(reports, 0);
  EXPECT_EQ(run.clock.moves(), 0u);
  EXPECT_LT(run.worst, 0.0076);
}

// The server held up past what the stream had queued: the timeline moves on by a cycle or two (or
// a little over kMoved), the two reports straddling the hold say what was read before it, and the
// next few come late. The move is seen once, as soon as kMovedAfter reports show it; nothing is
// told until enough reports since it are in, and then the clock is on the new place from the
// first report it tells on, within the prompt answers' half millisecond.
TEST(MusicHeardClock, LandsOnceOnTheMovedTimelineAfterAStall) {
  for (double stall : {kCycle, 2 * kCycle, 0.021}) {
    Reports reports;
    reports.stallAt = 1000;
    reports.stall = stall;
    const Told run = play(reports, reports.stallAt + static_cast<int>(HeardClock::kMovedAfter) - 1);
    EXPECT_EQ(run.clock.moves(), 1u) << stall;
    EXPECT_LT(run.worst, 0.0006) << stall;
    // The first kTrusted reports, and those of the move's after the ones that showed it.
    EXPECT_LE(run.unknown, static_cast<int>(2 * HeardClock::kTrusted)) << stall;
    EXPECT_GT(run.unknown, static_cast<int>(HeardClock::kTrusted)) << stall;
  }
}

// A stream stopped and playing again starts afresh: nothing told until enough reports are in.
TEST(MusicHeardClock, ForgetsAStoppedStream) {
  HeardClock clock;
  for (size_t i = 0; i < HeardClock::kTrusted; ++i) clock.note(5.0);
  ASSERT_TRUE(clock.known());
  clock.forget();
  EXPECT_FALSE(clock.known());
  for (size_t i = 0; i < HeardClock::kTrusted; ++i) clock.note(7.0);
  EXPECT_DOUBLE_EQ(clock.heardZero(), 7.0);
}

}  // namespace
