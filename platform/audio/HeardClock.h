#pragma once

#include <array>
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
class HeardClock {
 public:
  static constexpr size_t kWindow = 24;     // about 4 s of reports, one a graph cycle of 170 ms
  static constexpr size_t kMovedAfter = 5;  // reports all off the ones before
  static constexpr double kMoved = 0.010;   // further than this (a busy machine's answers mostly stay within)
  static constexpr size_t kTrusted = 12;    // reports since the start or a move before one is told

  // A report: frame 0 was heard at `heardZero`, by it.
  void note(double heardZero);
  // The stream stopped playing: when it plays again is another matter.
  void forget() { reports_ = 0; }
  // Whether enough reports since the start or the last move are in to tell.
  bool known() const { return reports_ >= kTrusted; }
  // When frame 0 was heard, by the reports held; only when known().
  double heardZero() const;
  // The moves seen so far.
  uint32_t moves() const { return moves_; }

 private:
  double lowerQuartile(size_t count, size_t skip) const;

  std::array<double, kWindow> heard_{};
  size_t reports_ = 0;  // since the start or the last move; the latest kWindow of them are held
  uint32_t moves_ = 0;
};
