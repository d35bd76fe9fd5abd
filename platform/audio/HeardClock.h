#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

// When a stream's frame 0 was heard (monotonic clock, seconds), from a sound server's timing
// reports, each of which says it as of the moment the server answered: how far it had read the
// stream, less what its sink still held. The server counts what it read once a graph cycle and
// answers when it gets round to it, so a report is as late as the answer waited after the cycle:
// under a millisecond on a quiet machine; on a busy one a few milliseconds either way, one in a
// hundred 10 to 40 ms late, and a cycle or more late when the server was held up as it answered.
// The lower quartile of the last few seconds' reports stands for the stream: a late answer or a
// few cannot move it, nor one early one.
//
// When the server is held up past what the stream had queued, its sink reads on without the
// stream, and the stream's timeline moves on by the cycles missed: the latest kMovedAfter reports
// are then all further than kMoved from the quartile of the ones before. Those go, and nothing is
// told until kTrusted reports since the move are in, so that the late answers around the hold
// (those straddling it say what was read before it) are outnumbered: the sound lands once, on the
// right place, rather than on the first answers and again as better ones come.
//
// The reports also tell the sound card's rate: how fast the server reads the stream against the
// monotonic clock. Frame 0 is heard earlier by a card that runs fast, later by a slow one, and a
// line through the reports since the start or the last move (but those later than the ones
// before by over kMoved; and of the rest, the prompt answers: the ones far off it go, twice) says
// by how much, once they span kRateSpan. A move keeps the rate told before it until the reports
// since span as long. Once reports over kRateSettled have told it, it is kept: a step of the
// timeline too small to be taken for a move (a busy server's sink moving its streams on by a few
// milliseconds) would tilt the line for as long as it is held, and what the kept rate lacks is
// the stretch's correction's to learn.
class HeardClock {
 public:
  static constexpr size_t kWindow = 24;     // about 4 s of reports, one a graph cycle of 170 ms
  static constexpr size_t kMovedAfter = 5;  // reports all off the ones before
  static constexpr double kMoved = 0.010;   // further than this (a busy machine's answers mostly stay within)
  static constexpr size_t kTrusted = 12;    // reports since the start before one is told
  // After a move, a whole window of them: the answers stay late for a while after a hold, and a
  // quartile of half a window was seen to land a player a millisecond off the others on a busy
  // machine (worked off by the stretching over some 15 s); of a whole window, within 0.6 ms.
  static constexpr size_t kTrustedAfterMove = kWindow;
  static constexpr double kRateSpan = 4.0;  // seconds of reports before the card's rate is told
  static constexpr size_t kRateReports = 256;  // the latest, about 44 s of them, tell it
  static constexpr double kRateSettled = 30.0;  // seconds of reports after which it is kept

  // A report made at `at` (monotonic clock, seconds): frame 0 was heard at `heardZero`, by it.
  void note(double at, double heardZero);
  // The stream stopped playing: when it plays again is another matter. The rate told stays until
  // a fresh one (kRateSpan of reports), as the stream may play on another card.
  void forget() {
    reports_ = rated_ = 0;
    trusted_ = kTrusted;
    toldSpan_ = 0;
  }
  // Whether enough reports since the start or the last move are in to tell.
  bool known() const { return reports_ >= trusted_; }
  // When frame 0 was heard, by the reports held; only when known().
  double heardZero() const;
  // The moves seen so far.
  uint32_t moves() const { return moves_; }
  // How much faster than the monotonic clock the card plays (+113e-6: 113 ppm fast), by the
  // reports since the start (or since the stream last stopped playing) once they span kRateSpan,
  // up to kRateSettled of them, in part until they span that; NaN before.
  double drift() const { return drift_; }

 private:
  double lowerQuartile(size_t count, size_t skip) const;
  bool moved() const;
  void fitDrift();

  std::array<double, kWindow> heard_{};
  size_t reports_ = 0;  // since the start or the last move; the latest kWindow of them are held
  size_t trusted_ = kTrusted;  // reports it takes to tell, since then
  uint32_t moves_ = 0;
  // For the rate: the reports since the start or the last move, the latest kRateReports of them.
  std::array<double, kRateReports> at_{}, zero_{};
  size_t rated_ = 0;
  double drift_ = NAN;
  double toldSpan_ = 0;  // seconds of reports that told it
};
