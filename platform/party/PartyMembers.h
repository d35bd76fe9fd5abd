#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/party/PartyMessage.h"

// What one member knows of its party: the start it keeps, the others it has heard lately, and
// their clocks' offsets to its own. Pure bookkeeping: time comes in as arguments, and nothing
// is sent from here.
//
// The start: a member starts with its own moment of joining and, until its first frame (the
// join window), takes any earlier start it hears, so the first member's start becomes
// everyone's. After that its start stays, whatever others claim: nothing moves a running scene.
class PartyMembers {
 public:
  static constexpr int64_t kSecond = 1000000;
  static constexpr int64_t kForgetAfterUs = 5 * kSecond;    // silent this long: gone
  static constexpr int64_t kStaleUs = 60 * kSecond;         // sent this far from our clock: dropped
  static constexpr int64_t kFutureStartUs = 5 * kSecond;    // a start later than now by more: dropped
  static constexpr int64_t kOldestStartUs = 30LL * 24 * 3600 * kSecond;  // a party is younger
  static constexpr size_t kMostMembers = 256;

  enum class Verdict { Taken, OtherParty, Own, Replayed, Stale, StartFarOff, TooMany };

  PartyMembers(uint64_t party, uint64_t self, int64_t joinedUs, uint16_t flags = 0);

  // A message that arrived at `nowUs` from the address `from`.
  Verdict heard(const PartyMessage& message, const std::string& from, int64_t nowUs);
  // The next message for the member at `to`.
  PartyMessage messageFor(const std::string& to, int64_t nowUs);
  // Forgets members silent for kForgetAfterUs; true when one went.
  bool forget(int64_t nowUs);
  // Closes the join window: from here on the start stays.
  void settle() { settled_ = true; }

  int64_t startUs() const { return startUs_; }
  bool settled() const { return settled_; }
  size_t size() const { return members_.size(); }

  struct Member {
    std::string address;
    uint64_t sequence = 0;
    int64_t lastHeardUs = 0;
    // Their clock minus ours, from the exchange with the shortest round trip of late.
    std::optional<int64_t> offsetUs;
    int64_t bestRoundTripUs = 0;
    int64_t roundTripAgeUs = 0;  // when that round trip was measured
  };
  const std::map<uint64_t, Member>& members() const { return members_; }

 private:
  struct Heard {
    int64_t sentUs = 0;      // their clock
    int64_t receivedUs = 0;  // ours
  };
  void measure(Member& member, const PartyMessage& message, int64_t nowUs);

  uint64_t party_;
  uint64_t self_;
  uint16_t flags_;
  int64_t startUs_;
  bool settled_ = false;
  uint64_t sequence_ = 0;
  std::map<uint64_t, Member> members_;
  std::map<std::string, Heard> lastFrom_;  // per address: the last message, for its echo
};
