#include "platform/audio/HeardClock.h"

#include <algorithm>
#include <cmath>

void HeardClock::note(double at, double heardZero) {
  // The card's rate is told by the reports once the clock is known (the first ones of a stream
  // scatter as it starts), and not later than the ones before by a move's worth (a late answer,
  // or a move not seen yet); earlier ones count (a server answers late, not early).
  const double before = known() ? this->heardZero() : -INFINITY;
  heard_[reports_++ % kWindow] = heardZero;
  if (moved()) {
    // Only the reports since the move count; those that showed it straddle it, and tell no rate.
    std::array<double, kWindow> latest{};
    for (size_t i = 0; i < kMovedAfter; ++i) latest[i] = heard_[(reports_ - kMovedAfter + i) % kWindow];
    heard_ = latest;
    reports_ = kMovedAfter;
    trusted_ = kTrustedAfterMove;
    rated_ = 0;
    ++moves_;
  } else if (heardZero <= before + kMoved) {
    at_[rated_ % kRateReports] = at;
    zero_[rated_++ % kRateReports] = heardZero;
    fitDrift();
  }
}

bool HeardClock::moved() const {
  // A move is looked for against as many reports as it takes to tell, the late answers around the
  // last move outnumbered.
  if (reports_ < trusted_ + kMovedAfter) return false;
  const size_t held = std::min(reports_, kWindow);
  double low = heard_[(reports_ - 1) % kWindow], high = low;
  for (size_t i = 1; i < kMovedAfter; ++i) {
    low = std::min(low, heard_[(reports_ - 1 - i) % kWindow]);
    high = std::max(high, heard_[(reports_ - 1 - i) % kWindow]);
  }
  const double before = lowerQuartile(held - kMovedAfter, kMovedAfter);
  return low - before > kMoved || before - high > kMoved;
}

// A straight line through the held reports, fitted again twice through those between the
// lowest tenth and the upper quartile of the last one's misses: the late answers go, the few
// early ones too, and with them most of the scatter of the prompt ones.
void HeardClock::fitDrift() {
  const size_t held = std::min(rated_, kRateReports);
  const size_t first = rated_ - held;
  // Not before the reports span kRateSpan, nor, after a move, before they span as long as the
  // ones that told the rate before it (or are as many as are held).
  const double span = held < 2 ? 0.0 : at_[(rated_ - 1) % kRateReports] - at_[first % kRateReports];
  if (toldSpan_ >= kRateSettled || span < kRateSpan || (span < toldSpan_ && held < kRateReports)) return;
  std::array<bool, kRateReports> kept{};
  kept.fill(true);
  const double origin = at_[first % kRateReports];
  double slope = 0, offset = 0;
  for (int pass = 0; pass < 3; ++pass) {
    double n = 0, meanAt = 0, meanZero = 0;
    for (size_t i = 0; i < held; ++i) {
      if (!kept[i]) continue;
      n += 1;
      meanAt += at_[(first + i) % kRateReports] - origin;
      meanZero += zero_[(first + i) % kRateReports];
    }
    meanAt /= n;
    meanZero /= n;
    double covariance = 0, spread = 0;
    for (size_t i = 0; i < held; ++i) {
      if (!kept[i]) continue;
      const double t = at_[(first + i) % kRateReports] - origin - meanAt;
      covariance += t * (zero_[(first + i) % kRateReports] - meanZero);
      spread += t * t;
    }
    if (spread <= 0) return;
    slope = covariance / spread;
    offset = meanZero - slope * meanAt;
    if (pass == 2) break;
    std::array<double, kRateReports> misses{};
    size_t count = 0;
    for (size_t i = 0; i < held; ++i)
      if (kept[i])
        misses[count++] = zero_[(first + i) % kRateReports] - offset - slope * (at_[(first + i) % kRateReports] - origin);
    const auto end = misses.begin() + static_cast<std::ptrdiff_t>(count);
    const auto upper = misses.begin() + static_cast<std::ptrdiff_t>(count * 3 / 4);
    std::nth_element(misses.begin(), upper, end);
    const double highest = *upper;
    const auto lower = misses.begin() + static_cast<std::ptrdiff_t>(count / 10);
    std::nth_element(misses.begin(), lower, end);
    const double lowest = *lower;
    for (size_t i = 0; i < held; ++i) {
      const double miss = zero_[(first + i) % kRateReports] - offset - slope * (at_[(first + i) % kRateReports] - origin);
      if (kept[i] && (miss > highest || miss < lowest)) kept[i] = false;
    }
  }
  // Frame 0 heard earlier each second by as much as the card plays ahead; told in part while the
  // reports span little (a few seconds of a busy server's reports wander by a millisecond), in
  // full once they span kRateSettled.
  drift_ = -slope * std::min(1.0, span / kRateSettled);
  toldSpan_ = span;
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
