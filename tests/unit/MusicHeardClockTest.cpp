#include <gtest/gtest.h>

#include <array>
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
    const bool held = stallAt >= 0 && stall > HeardClock::kMoved;  // else a step of the sink's, the server not held
    if (held && k >= stallAt && k < stallAt + 2) by += stall * (1.5 + uniform(random));
    if (held && k >= stallAt + 2 && k < stallAt + 7) by += 0.02 + 0.02 * uniform(random);
    return by;
  }

  double drift = 0;  // the card's: frame 0 is heard that much earlier each second

  double next(int k) {
    if (k == stallAt) truth += stall;
    truth -= drift * kCycle;
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
    run.clock.note(k * kCycle, reports.next(k));
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
    // The first kTrusted reports, and the move's kTrustedAfterMove less the ones that showed it.
    EXPECT_LE(run.unknown, static_cast<int>(HeardClock::kTrusted + HeardClock::kTrustedAfterMove)) << stall;
    EXPECT_GT(run.unknown, static_cast<int>(HeardClock::kTrusted)) << stall;
  }
}

// A card 113 ppm fast (and one as slow), a busy machine's answers: the card's rate is told once
// the reports span four seconds, in part at first (never beyond the card's own by more than
// 10 ppm), and within 10 ppm once they span half a minute. Then it is kept through the server
// held up at two minutes, whether its timeline moved by a cycle or by a step of 8 ms, too small
// to be taken for a move, that would tilt a line through the reports after it by up to 260 ppm.
TEST(MusicHeardClock, TellsTheCardsRate) {
  for (double stall : {kCycle, 0.008}) {
    for (double drift : {113e-6, -113e-6}) {
      Reports reports;
      reports.drift = drift;
      reports.stallAt = static_cast<int>(120 / kCycle);
      reports.stall = stall;
      HeardClock clock;
      double beyond = -1, worst = 0, settled = NAN;
      for (int k = 0; k < static_cast<int>(240 / kCycle); ++k) {
        clock.note(k * kCycle, reports.next(k));
        const double at = k * kCycle;
        if (at < HeardClock::kRateSpan) {
          EXPECT_TRUE(std::isnan(clock.drift())) << at;
          continue;
        }
        if (std::isnan(clock.drift())) {
          EXPECT_LT(at, HeardClock::kRateSpan + 3) << "told late";
          continue;
        }
        beyond = std::max(beyond, clock.drift() / drift - 1);  // +: told more than the card's own
        EXPECT_GT(clock.drift() / drift, -0.1) << at << ": the wrong way";
        if (at < HeardClock::kRateSettled + 3) continue;
        worst = std::max(worst, std::fabs(clock.drift() - drift));
        if (std::isnan(settled)) settled = clock.drift();
        ASSERT_EQ(clock.drift(), settled) << at << " " << stall;
      }
      EXPECT_EQ(clock.moves(), stall > HeardClock::kMoved ? 1u : 0u) << drift;
      EXPECT_LT(beyond * 113e-6, 10e-6) << drift << " " << stall;
      EXPECT_LT(worst, 10e-6) << drift << " " << stall;
    }
  }
}

// A stream stopped and playing again starts afresh: nothing told until enough reports are in.
TEST(MusicHeardClock, ForgetsAStoppedStream) {
  HeardClock clock;
  for (size_t i = 0; i < HeardClock::kTrusted; ++i) clock.note(i * kCycle, 5.0);
  ASSERT_TRUE(clock.known());
  clock.forget();
  EXPECT_FALSE(clock.known());
  for (size_t i = 0; i < HeardClock::kTrusted; ++i) clock.note(i * kCycle, 7.0);
  EXPECT_DOUBLE_EQ(clock.heardZero(), 7.0);
}

}  // namespace
