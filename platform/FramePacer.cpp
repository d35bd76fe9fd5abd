#include "platform/FramePacer.h"

FramePacer::FramePacer(double refreshRate) : period_(1.0 / (refreshRate > 0.0 ? refreshRate : 60.0)) {}

double FramePacer::frameDone(double frameStart, double swapEnd) {
  const double busy = swapEnd - frameStart;
  if (pacing_) {
    if (busy > 0.9 * period_) {  // the swap waits again: the driver paces
      pacing_ = false;
      fastFrames_ = 0;
      return swapEnd;
    }
    nextStart_ += period_;
    if (nextStart_ < swapEnd) nextStart_ = swapEnd;  // fell behind: don't try to catch up
    return nextStart_;
  }
  fastFrames_ = busy < 0.5 * period_ ? fastFrames_ + 1 : 0;
  if (fastFrames_ >= kFastFramesBeforePacing) {
    pacing_ = true;
    nextStart_ = frameStart + period_;
    if (nextStart_ < swapEnd) nextStart_ = swapEnd;
    return nextStart_;
  }
  return swapEnd;
}
