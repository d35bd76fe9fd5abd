#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The party's clock as a guest's phone reads it.
struct GuestClock {
  double seconds = 0;   // party time since the party's start
  int64_t startUs = 0;  // the party's start
  unsigned seed = 0;    // the floor's colours
};

// A guest asks with 8 bytes of its own (its time, as it likes) and is answered with 32, all
// little-endian: the 8 bytes as they came, seconds (f64), startUs (f64), seed (u32), 4 zero bytes.
constexpr size_t kClockAskSize = 8;
constexpr size_t kClockReplySize = 32;
std::array<uint8_t, kClockReplySize> clockReply(const uint8_t* ask, const GuestClock& clock);
