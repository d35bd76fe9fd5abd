#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/party/PartyKey.h"
#include "platform/party/PartyMembers.h"
#include "platform/party/PartyNotes.h"
#include "platform/party/PeerAttempts.h"

// The two clocks a member reads, in microseconds: the monotonic one runs every timer and the
// party's clock; the system's is read once, to date a party's start in the log.
struct PartyClocks {
  std::function<int64_t()> monotonicUs;
  std::function<int64_t()> realtimeUs;
  static PartyClocks system();
};

// One member of a party on one thread: datagrams in, datagrams out, lines for the log. Nothing
// that is not written with the party's key is read further or answered, and nothing a stranger
// sends grows anything without bound (the socket, Avahi and the thread are Party's).
class PartyNode {
 public:
  using Send = std::function<void(const std::string& to, const PartyMessage::Bytes& bytes)>;
  using Say = std::function<void(const std::string& line)>;

  static constexpr int64_t kSendEveryUs = 1000000;      // once settled
  static constexpr int64_t kSendEarlyEveryUs = 200000;  // while the start may still change
  static constexpr int64_t kUnheardUs = 10000000;       // announced this long, none heard: a firewall?

  PartyNode(const PartyKey& key, uint64_t self, const PartyClocks& clocks, uint16_t flags, uint16_t port, Send send,
            Say say);

  // The addresses announced for the party now; sends what is due. Microseconds until more is.
  int64_t tick(const std::vector<std::string>& announced);
  // A datagram from `from` (`local`: from the local network).
  void receive(const uint8_t* data, size_t size, const std::string& from, bool local);
  void settle();

  int64_t startUs() const { return members_.startUs(); }
  // The party's time now, in seconds since its start.
  double seconds() const;
  // The party's time now, microseconds.
  int64_t partyUs() const { return members_.partyUs(clocks_.monotonicUs()); }
  const PartyMembers& members() const { return members_; }
  int64_t joinedUs() const { return joinedUs_; }
  int64_t nowUs() const { return clocks_.monotonicUs(); }

 private:
  void send(const std::string& to, int64_t nowUs);
  void drop(const std::string& kind, const std::string& from, int64_t nowUs);

  PartyKey key_;
  PartyClocks clocks_;
  uint16_t port_;
  Send send_;
  Say say_;
  int64_t joinedUs_;
  PartyMembers members_;
  PeerAttempts attempts_;
  PartyNotes notes_;
  int64_t nextSendUs_ = 0;
  int64_t announcedSinceUs_ = 0;  // 0: nothing announced
  bool heardAny_ = false, saidUnheard_ = false;
};
