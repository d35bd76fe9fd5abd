#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class PartyKey;

// The one message party members send each other, about once a second: who is sending and to
// whom, the party's start and the sender's party clock, and its monotonic clock with an echo of
// the last message it had from the receiver, so that each side works out the other's clock from
// its own messages (the NTP way: t1 sent, t2 received, t3 answered, t4 back).
//
// On the wire: 120 bytes, little-endian, fixed size, ending in a tag made with the party's key
// over the rest. Anything else, and any time outside its range, is dropped before it is read.
struct PartyMessage {
  static constexpr uint8_t kVersion = 2;
  static constexpr size_t kTagAt = 88;
  static constexpr size_t kSize = 120;
  using Bytes = std::array<uint8_t, kSize>;

  // Every time field lies within these, so that sums and differences of a few never overflow.
  static constexpr int64_t kLatestUs = int64_t{1} << 60;  // 36,000 years
  static constexpr int64_t kLongestHoldUs = 3600LL * 1000000;

  uint64_t party = 0;         // PartyKey::id(): other parties' messages are told apart at once
  uint64_t sender = 0;        // random per process
  uint64_t sequence = 0;      // grows by one with every message of the sender
  uint64_t to = 0;            // the receiver's sender id as the sender knows it; 0: not yet known
  int64_t sentUs = 0;         // the sender's monotonic clock at sending (0 to kLatestUs)
  int64_t partyOffsetUs = 0;  // the sender's party time minus sentUs (within ±kLatestUs)
  int64_t startUs = 0;        // the party's start in party time (within ±kLatestUs)
  int64_t sinceUs = 0;        // party time since when the sender is of this party (same range)
  int64_t echoSentUs = 0;     // sentUs of the last message the sender had from the receiver; 0: none
  int64_t echoHeldUs = 0;     // how long the sender held that message (0 to kLongestHoldUs)
  uint16_t flags = 0;         // kSilent, ...

  static constexpr uint16_t kSilent = 1;   // the sender plays no sound
  static constexpr uint16_t kSettled = 2;  // the sender has settled on its party (drawn a frame)

  Bytes encode(const PartyKey& key) const;
  // Null, with `why` set, for anything that is not a whole message of this version with the
  // party's tag and times in range; `why` stays empty for another party's message (not ours
  // to complain of).
  static std::optional<PartyMessage> decode(const uint8_t* data, size_t size, const PartyKey& key, std::string& why);
};
