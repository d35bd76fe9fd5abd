#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The one message party members send each other, about once a second: who is sending, the
// party's start as the sender keeps it, and its clock, with an echo of the last message it had
// from the receiver, so that each side can work out the other's clock offset from its own
// messages (the NTP way: t1 sent, t2 received, t3 answered, t4 back).
//
// On the wire: 68 bytes, little-endian, fixed size, ending in a checksum of the rest. Anything
// else is dropped.
struct PartyMessage {
  static constexpr uint8_t kVersion = 1;
  static constexpr size_t kSize = 68;
  using Bytes = std::array<uint8_t, kSize>;

  uint64_t party = 0;      // partyKey() of the party's name: parties never mix
  uint64_t sender = 0;     // random per process
  uint64_t sequence = 0;   // grows by one with every message of the sender
  int64_t sentUs = 0;      // sender's system clock at sending, microseconds since 1970
  int64_t startUs = 0;     // the party's start as the sender keeps it, same clock
  int64_t echoSentUs = 0;  // sentUs of the last message the sender had from the receiver; 0: none
  int64_t echoHeldUs = 0;  // how long the sender held that message before this one went
  uint16_t flags = 0;      // kSilent, ...

  static constexpr uint16_t kSilent = 1;  // the sender plays no sound

  Bytes encode() const;
  // Null, with `why` set, for anything that is not a well-formed message of this version.
  static std::optional<PartyMessage> decode(const uint8_t* data, size_t size, std::string& why);
};

// A party's name as messages carry it.
uint64_t partyKey(const std::string& name);
