#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

// Another machine's clock against ours, from the round trips of our messages, filtered as NTP
// and PTP do: of the recent exchanges only the quickest count (a slow one was held up on one
// way more than the other), and a line through them follows the two clocks' drift, so that the
// estimate for now is not the middle of the window's age behind.
class OffsetFilter {
 public:
  static constexpr size_t kWindow = 16;                   // exchanges kept, about one a second
  static constexpr int64_t kOldestUs = 40 * 1000000LL;    // older ones say little of now
  static constexpr int64_t kLongestRoundTripUs = 2000000; // slower than this says nothing

  // One exchange finished at `atUs` (our clock): its round trip and their clock minus ours.
  void add(int64_t atUs, int64_t roundTripUs, int64_t offsetUs);
  // Their clock minus ours at `nowUs`; nothing before the first exchange.
  std::optional<int64_t> estimate(int64_t nowUs) const;
  // The quickest round trip kept (0 with none).
  int64_t bestRoundTripUs() const;
  size_t size() const { return samples_.size(); }

 private:
  struct Sample {
    int64_t atUs, roundTripUs, offsetUs;
  };
  std::deque<Sample> samples_;
};
