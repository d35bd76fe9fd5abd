#pragma once

#include <algorithm>
#include <chrono>
#include <set>
#include <string>

// When the music player looks for a sound device again, and which of its lines are news.
//
// A server restarting is back within seconds: while the sound has been away less than
// kPatience, a look that finds no device waits a second for the next. A device that dies just
// after it opens would come and go every second for ever, so each such death doubles the wait,
// as does every failed look after kPatience, up to kLongest. A device that plays for kSteady
// starts it all over. A line already said since then is no news: the log says each change once.
class SoundRetry {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kFirst = std::chrono::seconds(1);
  static constexpr Clock::duration kLongest = std::chrono::seconds(30);
  static constexpr Clock::duration kPatience = std::chrono::seconds(10);
  static constexpr Clock::duration kSteady = std::chrono::seconds(2);

  explicit SoundRetry(Clock::time_point now) : away_(now), next_(now + kFirst) {}

  bool due(Clock::time_point now) const { return now >= next_; }
  // Still waiting for the sound that went away: settling for another driver would be too soon.
  bool patient(Clock::time_point now) const { return now - away_ < kPatience; }

  void opened(Clock::time_point now) { opened_ = now; }
  void failed(Clock::time_point now) {
    if (patient(now)) {
      next_ = now + kFirst;
    } else {
      waitAgain(now);
    }
  }
  void lost(Clock::time_point now) {
    if (now - opened_ < kSteady) return waitAgain(now);
    said_.clear();
    away_ = next_ = now;  // a restarted server may well be back by the time SDL lets go
    wait_ = kFirst;
  }

  bool news(const std::string& line) { return said_.insert(line).second; }

 private:
  void waitAgain(Clock::time_point now) {
    next_ = now + wait_;
    wait_ = std::min(2 * wait_, kLongest);
  }

  Clock::time_point away_, next_, opened_;
  Clock::duration wait_ = kFirst;
  std::set<std::string> said_;
};
