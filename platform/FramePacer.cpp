#include "platform/FramePacer.h"

#include <algorithm>

FramePacer::FramePacer(double refreshRate) : period_(1.0 / (refreshRate > 0.0 ? refreshRate : 60.0)) {}

double FramePacer::frameDone(double frameStart, double swapEnd) const {
  return std::max(swapEnd, frameStart + period_);
}
