#include "platform/window/FramePacer.h"

#include <algorithm>

namespace {
// A swap returning this share of a period or more before the next retrace would be due did not
// wait for one. The margin leaves room for the scheduler's delay in waking the loop and for a
// rate reported a little off the true one.
constexpr double kEarlyShare = 0.05;
// Early swaps in a row before frames are held: one late wake-up must not stop a waiting loop.
constexpr int kEarlySwapsToHold = 3;
// While frames are held, one in this many starts at once to look at the swaps again.
constexpr int kFramesBetweenProbes = 60;
}  // namespace

FramePacer::FramePacer(double refreshRate) : period_(1.0 / (refreshRate > 0.0 ? refreshRate : 60.0)) {}

double FramePacer::frameDone(double swapEnd) {
  if (started_ && !lastFrameWasHeld_) {
    // This frame started when the swap before it returned: its own swap tells whether swaps wait.
    const bool early = swapEnd - lastSwapEnd_ < period_ * (1.0 - kEarlyShare);
    if (!holding_) {
      earlyInARow_ = early ? earlyInARow_ + 1 : 0;
      holding_ = earlyInARow_ >= kEarlySwapsToHold;
    } else if (!early) {
      holding_ = false;
      earlyInARow_ = 0;
    }
  }
  started_ = true;
  lastSwapEnd_ = swapEnd;

  // The grid frames are held to: a period apart, never catching up after a slow frame. Where
  // swaps pace the loop it starts at each swap: a display faster than its stated rate (a
  // compositor's 16 ms timer for 60 Hz) would otherwise leave it further ahead every frame, and
  // the first held frame would wait that long.
  const double due = holding_ ? std::max(swapEnd, nextDue_) : swapEnd;
  nextDue_ = due + period_;
  const bool probe = holding_ && ++framesSinceProbe_ >= kFramesBetweenProbes;
  if (probe) framesSinceProbe_ = 0;
  const double next = holding_ && !probe ? due : swapEnd;
  lastFrameWasHeld_ = next > swapEnd;
  return next;
}
