#include "platform/guests/GuestClock.h"

#include <cstring>

namespace {
void putLittle(uint8_t* at, uint64_t value, size_t size) {
  for (size_t i = 0; i < size; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void putDouble(uint8_t* at, double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  putLittle(at, bits, 8);
}
}  // namespace

std::array<uint8_t, kClockReplySize> clockReply(const uint8_t* ask, const GuestClock& clock) {
  std::array<uint8_t, kClockReplySize> reply{};
  std::memcpy(reply.data(), ask, kClockAskSize);  // the guest's own bytes, not read as a number
  putDouble(reply.data() + 8, clock.seconds);
  putDouble(reply.data() + 16, static_cast<double>(clock.startUs));  // exact to 2^53 µs, 285 years
  putLittle(reply.data() + 24, clock.seed, 4);
  return reply;
}
