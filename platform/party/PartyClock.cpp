#include "platform/party/PartyClock.h"

#include <algorithm>

int64_t PartyClock::offsetUs(int64_t nowUs) const {
  const int64_t reach = std::max<int64_t>(0, nowUs - sinceUs_) / (1000000 / kGlideUsPerSecond);
  return fromUs_ + std::clamp(toUs_ - fromUs_, -reach, reach);
}

void PartyClock::glideTo(int64_t offsetUs, int64_t nowUs) {
  fromUs_ = this->offsetUs(nowUs);
  sinceUs_ = nowUs;
  toUs_ = offsetUs;
}

void PartyClock::jumpTo(int64_t offsetUs) { fromUs_ = toUs_ = offsetUs; }
