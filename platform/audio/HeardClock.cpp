#include "platform/audio/HeardClock.h"

#include <algorithm>

void HeardClock::note(double heardZero) {
  heard_[reports_++ % kWindow] = heardZero;
  // A move is looked for against as many reports as it takes to tell, the late answers around the
  // last move outnumbered.
  if (reports_ < kTrusted + kMovedAfter) return;
  const size_t held = std::min(reports_, kWindow);
  double low = heardZero, high = heardZero;
  for (size_t i = 1; i < kMovedAfter; ++i) {
    low = std::min(low, heard_[(reports_ - 1 - i) % kWindow]);
    high = std::max(high, heard_[(reports_ - 1 - i) % kWindow]);
  }
  const double before = lowerQuartile(held - kMovedAfter, kMovedAfter);
  if (low - before <= kMoved && before - high <= kMoved) return;
  // Moved: only the reports since the move count.
  std::array<double, kWindow> latest{};
  for (size_t i = 0; i < kMovedAfter; ++i) latest[i] = heard_[(reports_ - kMovedAfter + i) % kWindow];
  heard_ = latest;
  reports_ = kMovedAfter;
  ++moves_;
}

// The lower quartile of the `count` reports before the latest `skip`.
double HeardClock::lowerQuartile(size_t count, size_t skip) const {
  std::array<double, kWindow> recent{};
  for (size_t i = 0; i < count; ++i) recent[i] = heard_[(reports_ - 1 - skip - i) % kWindow];
  const auto at = recent.begin() + static_cast<std::ptrdiff_t>((count - 1) / 4);
  std::nth_element(recent.begin(), at, recent.begin() + static_cast<std::ptrdiff_t>(count));
  return *at;
}

double HeardClock::heardZero() const { return lowerQuartile(std::min(reports_, kWindow), 0); }
