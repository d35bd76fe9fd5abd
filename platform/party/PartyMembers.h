#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/party/OffsetFilter.h"
#include "platform/party/PartyClock.h"
#include "platform/party/PartyMessage.h"

// What one member knows of its party: the start and the party clock it keeps, the others it
// has heard lately, and their clocks against its own. Pure bookkeeping on authenticated
// messages: time comes in as arguments (this machine's monotonic clock), nothing is sent from
// here.
//
// Members: an address is a member's only after a round trip (a message from there echoing one
// we sent there); until then its sender is a stranger, answered at most by the caller.
//
// The party's clock: everyone of the party follows the clock of the member that has been of it
// longest (the smallest id among equals), of those it has measured, or its own: each measures
// that member's clock itself, so no machine's system clock matters, and a newcomer's first rough
// measurements lead no one. When that member leaves, the next one's clock is followed, gliding
// the little they differ.
//
// The start: a member begins as a party of its own (its start, a clock from its system clock).
// Hearing a member of the same party with another start, the party that has run longer wins:
// the other's members take its start and its clock, once, jumping. Before the member settles
// (its first frame) that is its joining; after, a merge of two parties that had settled apart.
class PartyMembers {
 public:
  static constexpr int64_t kSecond = 1000000;
  static constexpr int64_t kForgetAfterUs = 5 * kSecond;   // silent this long: gone
  static constexpr int64_t kFutureStartUs = 5 * kSecond;   // a start later than its sender's time: dropped
  static constexpr int64_t kSameAgeUs = 10000;             // parties this close in age: the lower start wins
  static constexpr size_t kMostMembers = 256;
  static constexpr size_t kMostStrangers = 64;
  static constexpr size_t kEchoesKept = 8;  // of our messages to an address, for its round trips

  // StartedAgain: taken, from a new sender at a member's address (one process has a port at a
  // time: the member there was started again, and the one before is forgotten).
  enum class Verdict { Taken, StartedAgain, Own, NotForUs, Replayed, Relayed, StartFarOff, Stranger, TooMany };

  // A member whose monotonic clock reads `nowUs` as its party clock reads `partyNowUs` (its
  // system clock, say), starting a party of its own there.
  PartyMembers(uint64_t party, uint64_t self, int64_t nowUs, int64_t partyNowUs, uint16_t flags = 0);

  // An authenticated message that arrived at `nowUs` from the address `from`.
  Verdict heard(const PartyMessage& message, const std::string& from, int64_t nowUs);
  // The next message for the address `to`.
  PartyMessage messageFor(const std::string& to, int64_t nowUs);
  // Forgets members and strangers silent for kForgetAfterUs; how many members went.
  size_t forget(int64_t nowUs);
  // Follows the party's clock on to `nowUs`: the drift between two messages counts too.
  void follow(int64_t nowUs) { followParty(nowUs); }
  // The first frame is drawn: from here on a change of clock glides, and a new start is a merge.
  void settle() { settled_ = true; }

  int64_t startUs() const { return startUs_; }
  int64_t partyUs(int64_t nowUs) const { return clock_.partyUs(nowUs); }
  bool settled() const { return settled_; }
  size_t size() const { return members_.size(); }
  // Whose clock is followed: 0 for this member's own.
  uint64_t following() const { return following_; }
  // Whether the member followed has settled on its party: then that party is the one to join
  // (one still joining may yet take an older one's start).
  bool followingSettled() const {
    const auto m = members_.find(following_);
    return m != members_.end() && (m->second.flags & PartyMessage::kSettled);
  }
  // The members' party clocks against this one's, as measured: the largest minus the smallest.
  int64_t spreadUs(int64_t nowUs) const;

  // Once after a merge with a party that had run longer: the address of the member heard.
  std::optional<std::string> takeMerge();

  struct Member {
    std::string address;
    uint64_t sequence = 0;
    int64_t lastHeardUs = 0;
    int64_t startUs = 0;
    int64_t sinceUs = 0;
    int64_t partyOffsetUs = 0;  // its party time minus its monotonic clock, as last sent
    uint16_t flags = 0;
    int64_t lastSentUs = 0;     // its clock, for the echo
    OffsetFilter clock;         // its monotonic clock minus ours
  };
  const std::map<uint64_t, Member>& members() const { return members_; }
  // The sender whose messages come from `address`, member or stranger; 0 for none.
  uint64_t senderAt(const std::string& address) const;

 private:
  struct Stranger {
    std::string address;
    uint64_t sequence = 0;
    int64_t lastSentUs = 0;  // its clock
    int64_t lastHeardUs = 0;
  };
  struct RoundTrip {
    int64_t roundTripUs, offsetUs, atUs;
  };
  std::optional<RoundTrip> roundTrip(const PartyMessage& message, const std::string& from, int64_t nowUs) const;
  void follow(const Member& sender, int64_t nowUs);
  void followParty(int64_t nowUs);

  uint64_t party_;
  uint64_t self_;
  uint16_t flags_;
  PartyClock clock_;
  int64_t startUs_;
  int64_t sinceUs_;  // party time since when this member is of its party
  bool settled_ = false;
  uint64_t following_ = 0;
  std::optional<std::string> merged_;
  uint64_t sequence_ = 0;
  std::map<uint64_t, Member> members_;
  std::map<uint64_t, Stranger> strangers_;
  struct Sent {
    std::array<int64_t, kEchoesKept> at{};
    size_t next = 0;
    int64_t lastUs = 0;
  };
  std::map<std::string, Sent> sent_;  // per address we send to
};
