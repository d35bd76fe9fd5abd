#include "platform/party/OffsetFilter.h"

#include <algorithm>
#include <vector>

namespace {
constexpr size_t kFewestForDrift = 4;      // fewer: the median of the quickest
constexpr int64_t kShortestSpanUs = 4000000;  // a line through a shorter stretch is mostly noise
}  // namespace

void OffsetFilter::add(int64_t atUs, int64_t roundTripUs, int64_t offsetUs) {
  if (roundTripUs < 0 || roundTripUs > kLongestRoundTripUs) return;
  samples_.push_back(Sample{atUs, roundTripUs, offsetUs});
  while (samples_.size() > kWindow || (!samples_.empty() && atUs - samples_.front().atUs > kOldestUs))
    samples_.pop_front();
}

std::optional<int64_t> OffsetFilter::estimate(int64_t nowUs) const {
  if (samples_.empty()) return std::nullopt;
  // The quicker half (at least one).
  std::vector<Sample> quick(samples_.begin(), samples_.end());
  std::sort(quick.begin(), quick.end(), [](const Sample& a, const Sample& b) { return a.roundTripUs < b.roundTripUs; });
  quick.resize((quick.size() + 1) / 2);
  const auto [first, last] = std::minmax_element(quick.begin(), quick.end(),
                                                 [](const Sample& a, const Sample& b) { return a.atUs < b.atUs; });
  if (quick.size() < kFewestForDrift || last->atUs - first->atUs < kShortestSpanUs) {
    std::nth_element(quick.begin(), quick.begin() + quick.size() / 2, quick.end(),
                     [](const Sample& a, const Sample& b) { return a.offsetUs < b.offsetUs; });
    return quick[quick.size() / 2].offsetUs;
  }
  // Least squares, about the samples' means (small numbers: no precision lost to big times).
  const int64_t t0 = first->atUs, o0 = first->offsetUs;
  double meanT = 0, meanO = 0;
  for (const Sample& s : quick) {
    meanT += static_cast<double>(s.atUs - t0);
    meanO += static_cast<double>(s.offsetUs - o0);
  }
  meanT /= static_cast<double>(quick.size());
  meanO /= static_cast<double>(quick.size());
  double covariance = 0, variance = 0;
  for (const Sample& s : quick) {
    const double dt = static_cast<double>(s.atUs - t0) - meanT;
    covariance += dt * (static_cast<double>(s.offsetUs - o0) - meanO);
    variance += dt * dt;
  }
  const double slope = covariance / variance;  // their rate against ours, less one
  const double at = static_cast<double>(std::min(nowUs - t0, kOldestUs));
  // Held to a year of change over the window: what a member with the key sends may be any times
  // in range, and the line through them must still be a number the clock can take.
  constexpr double kFurthest = 365.0 * 86400 * 1e6;
  return o0 + static_cast<int64_t>(std::clamp(meanO + slope * (at - meanT), -kFurthest, kFurthest));
}

int64_t OffsetFilter::bestRoundTripUs() const {
  int64_t best = 0;
  for (const Sample& s : samples_)
    if (best == 0 || s.roundTripUs < best) best = s.roundTripUs;
  return best;
}
