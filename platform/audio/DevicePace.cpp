#include "platform/audio/DevicePace.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kDriftSpan = 60.0;      // seconds of callbacks before a drift is trusted
constexpr double kEarliestSpan = 120.0;  // the earliest of these stands for now, carried by the drift
constexpr double kUntrustedSpan = 20.0;  // ... of these, before the drift is known
constexpr double kMostDrift = 0.002;
}  // namespace

double DevicePace::fitDrift() const {
  const size_t held = held_;
  if (held < 2 || back(0).at - back(held - 1).at < kDriftSpan) return NAN;  // too soon to tell
  double meanAt = 0, meanPace = 0;
  for (size_t i = 0; i < held; ++i) {
    meanAt += back(i).at;
    meanPace += back(i).pace;
  }
  meanAt /= held;
  meanPace /= held;
  double covariance = 0, spread = 0;
  for (size_t i = 0; i < held; ++i) {
    covariance += (back(i).at - meanAt) * (back(i).pace - meanPace);
    spread += (back(i).at - meanAt) * (back(i).at - meanAt);
  }
  return spread > 0 ? std::clamp(covariance / spread, -kMostDrift, kMostDrift) : 0.0;
}

double DevicePace::earliest(double now, size_t from, size_t to) const {
  // Carried along the drift no further than half the span it was learnt over.
  const double learnt = held_ > 0 ? now - back(held_ - 1).at : 0.0;
  const double span = std::clamp(learnt / 2, kUntrustedSpan, kEarliestSpan);
  double least = INFINITY;
  for (size_t i = from; i < std::min(to, held_) && now - back(i).at <= span; ++i)
    least = std::min(least, back(i).pace + drift_ * (now - back(i).at));
  return least;
}

double DevicePace::due(double now, uint64_t frames) {
  const double played = static_cast<double>(frames) / rate_;
  const double pace = now - played;
  const double late = held_ > 0 ? pace - earliest(now, 0, held_) : 0.0;
  if (late > kNewPaceSeconds) held_ = stalledAt_ = 0;
  history_[next_++ % kHistory] = Callback{now, pace};
  held_ = std::min(held_ + 1, kHistory);
  if (late > kStallSeconds && !stalledAt_) stalledAt_ = held_;
  if (stalledAt_ && held_ >= stalledAt_ + kRecent - 1) {
    if (held_ > kRecent && earliest(now, 0, kRecent) - earliest(now, kRecent, held_) > kMovedSeconds) held_ = kRecent;
    stalledAt_ = 0;
  }
  const double fitted = fitDrift();
  if (!std::isnan(fitted)) drift_ = fitted;
  return std::min(pace, earliest(now, 0, held_)) + played;
}
