#include "platform/audio/MusicSync.h"

#include <algorithm>
#include <cmath>

namespace {
// The correction: an error is worked off over about 10 s, and what stays (the sound card's own
// rate, or what is left of it beyond what the device tells) is learnt over about half a minute.
// The ring's two seconds between a change and its being heard are far shorter, so it does not
// overshoot.
constexpr double kProportional = 1.0 / 10.0;
constexpr double kIntegral = 1.0 / (10.0 * 30.0);
constexpr double kSmoothing = 0.2;  // of a callback's error, against the ones before
}  // namespace

MusicSync::MusicSync(int rate, int64_t loopFrames) : rate_(rate), loopFrames_(loopFrames), pace_(rate) {}

double MusicSync::trackFrame(double seconds) const {
  const double frame = std::fmod(seconds * rate_, static_cast<double>(loopFrames_));
  return frame < 0 ? frame + static_cast<double>(loopFrames_) : frame;
}

double MusicSync::loopError(double at, double due) const {
  const double loop = static_cast<double>(loopFrames_);
  double error = std::fmod(at - due, loop);
  if (error > loop / 2) error -= loop;
  if (error <= -loop / 2) error += loop;
  return error;
}

void MusicSync::mark(uint64_t ringFrame, double trackFrame) {
  const uint64_t at = marksWritten_.load(std::memory_order_relaxed);
  marks_[at % kMarks] = Mark{ringFrame, trackFrame, generation_};
  marksWritten_.store(at + 1, std::memory_order_release);
}

MusicSync::Fix MusicSync::onCallback(double now, uint64_t deviceFrames, double latency, double untilHeard,
                                     uint64_t ringFrame, size_t available, size_t frames, double drift) {
  if (std::isfinite(drift)) drift_.store(std::clamp(drift, -kMostStretch, kMostStretch), std::memory_order_relaxed);
  const bool told = !std::isnan(untilHeard);
  const bool known = !told || std::isfinite(untilHeard);
  const double due = trackFrame(told ? now + untilHeard : pace_.due(now, deviceFrames) + latency);
  // The last mark at or before the next frame tells where it is in the track.
  const uint64_t written = marksWritten_.load(std::memory_order_acquire);
  if (written - marksRead_ > kMarks) marksRead_ = written - kMarks;  // fell behind: only the newest count
  while (marksRead_ < written && marks_[marksRead_ % kMarks].ringFrame <= ringFrame) {
    current_ = marks_[marksRead_ % kMarks];
    haveCurrent_ = true;
    ++marksRead_;
  }
  Fix fix;
  const uint32_t wanted = wanted_.load(std::memory_order_relaxed);
  if (!told && !landed_ && pace_.seen() < kWarmCallbacks) {
    fix.silence = frames;  // nothing heard before it can be heard in the right place
    return fix;
  }
  if (!told && pace_.seen() < kSettleCallbacks) return fix;  // the pace is being learnt again: no judging yet
  if (!haveCurrent_ || current_.generation != wanted) {
    // Waiting for the jump: what the ring holds is from before it.
    fix.silence = frames;
    fix.drop = available;
    return fix;
  }
  if (!known) {  // the device will tell again: until then the sound plays on as it is
    if (!landed_) fix.silence = frames;
    return fix;
  }
  const double at = current_.trackFrame + static_cast<double>(ringFrame - current_.ringFrame);
  const double error = loopError(at, due);  // +: ahead of the party
  // Landed once to the frame; after that only what stretching cannot follow is landed again.
  const double close = landed_ ? kCloseSeconds * rate_ : 1.0;
  if (std::fabs(error) <= close) {
    landed_ = true;
    away_ = false;
    settled_.store(true, std::memory_order_relaxed);
    error_.store(error / rate_, std::memory_order_relaxed);
    errorFresh_.store(true, std::memory_order_release);
    return fix;
  }
  if (landed_ && !away_) {  // told once, however many callbacks the landing takes
    putBackOff_.store(error / rate_, std::memory_order_relaxed);
    putBacks_.fetch_add(1, std::memory_order_release);
  }
  away_ = landed_;
  settled_.store(false, std::memory_order_relaxed);
  if (error > 0 && error <= (kLeadSeconds + kSlackSeconds) * rate_) {
    fix.silence = std::min(frames, static_cast<size_t>(error));  // wait for the party
  } else if (error < 0 && -error <= kSlackSeconds * rate_) {
    fix.drop = std::min(available, static_cast<size_t>(-error));  // catch up
  } else {
    // Further off than waiting or the ring reach: the decoder jumps.
    wanted_.store(wanted + 1, std::memory_order_release);
    fix.silence = frames;
    fix.drop = available;
  }
  return fix;
}

bool MusicSync::putBack(double& off) {
  const uint32_t now = putBacks_.load(std::memory_order_acquire);
  if (now == putBacksTold_) return false;
  putBacksTold_ = now;
  off = putBackOff_.load(std::memory_order_relaxed);
  return true;
}

double MusicSync::stretch(double seconds) {
  if (errorFresh_.exchange(false, std::memory_order_acquire)) {
    smoothed_ += kSmoothing * (error_.load(std::memory_order_relaxed) - smoothed_);
    integral_ = std::clamp(integral_ + kIntegral * smoothed_ * seconds, -kMostStretch, kMostStretch);
  }
  smoothedOut_.store(smoothed_, std::memory_order_relaxed);
  // As much longer as the card plays faster, and the errors' correction on top.
  const double told = drift_.load(std::memory_order_relaxed);
  return std::clamp(told + kProportional * smoothed_ + integral_, -kMostStretch, kMostStretch);
}

std::optional<double> MusicSync::partyError() const {
  if (!settled_.load(std::memory_order_relaxed)) return std::nullopt;
  return smoothedOut_.load(std::memory_order_relaxed);
}
