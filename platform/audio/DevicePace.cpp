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
  const size_t held = std::min(count_, kHistory);
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

double DevicePace::due(double now, uint64_t frames) {
  const double played = static_cast<double>(frames) / rate_;
  const double pace = now - played;
  // Carried along a drift no further than half the span it was learnt over.
  const double learnt = count_ > 0 ? now - back(std::min(count_, kHistory) - 1).at : 0.0;
  const double span = std::clamp(learnt / 2, kUntrustedSpan, kEarliestSpan);
  double earliest = pace;
  for (size_t i = 0; i < std::min(count_, kHistory) && now - back(i).at <= span; ++i)
    earliest = std::min(earliest, back(i).pace + drift_ * (now - back(i).at));
  if (pace - earliest > kNewPaceSeconds) {
    count_ = 0;
    earliest = pace;
  }
  history_[count_++ % kHistory] = Callback{now, pace};
  const double fitted = fitDrift();
  if (!std::isnan(fitted)) drift_ = fitted;
  return earliest + played;
}
