#pragma once

#include <cstdint>

// The party's time on this machine: its monotonic clock plus an offset, so that a step of the
// system clock moves nothing. Following another member's clock changes the offset; a change
// while the party plays glides at most kGlidePerSecond (0.1 %, which the music's stretching
// follows unheard, and no frame is skipped), and only joining another party jumps.
class PartyClock {
 public:
  static constexpr int64_t kGlideUsPerSecond = 1000;

  explicit PartyClock(int64_t offsetUs) : fromUs_(offsetUs), toUs_(offsetUs) {}

  // Party time at monotonic time `nowUs`.
  int64_t partyUs(int64_t nowUs) const { return nowUs + offsetUs(nowUs); }
  int64_t offsetUs(int64_t nowUs) const;
  // Glides from the offset at `nowUs` towards `offsetUs`.
  void glideTo(int64_t offsetUs, int64_t nowUs);
  void jumpTo(int64_t offsetUs);
  // Keeps the offset where it is at `nowUs`: no one left to follow.
  void hold(int64_t nowUs) { glideTo(offsetUs(nowUs), nowUs); }

 private:
  int64_t sinceUs_ = 0;  // monotonic time the glide began
  int64_t fromUs_;       // the offset then
  int64_t toUs_;         // and where it goes
};
