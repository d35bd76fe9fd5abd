// Datagrams from anyone on the network, straight into a party member: each must be read whole
// or dropped, and none may move a settled member's start or grow its list past the limit.
// Input: datagrams one after another, each a length byte then that many bytes (the party
// message, or anything); every fourth comes from another address.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/party/PartyMembers.h"
#include "platform/party/PartyMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr int64_t kNow = 1'800'000'000'000'000;
  PartyMembers members(partyKey("lab"), 1, kNow - 10'000'000);
  members.settle();
  const int64_t start = members.startUs();
  size_t at = 0;
  for (int n = 0; at < size; ++n) {
    const size_t length = data[at++];
    const size_t take = length < size - at ? length : size - at;
    std::string why;
    const auto message = PartyMessage::decode(data + at, take, why);
    if (message) {
      // A fuzzed message, made to pass the checks on party, sender and time now and then.
      PartyMessage m = *message;
      if (n % 2) m.party = partyKey("lab");
      if (n % 3) m.sentUs = kNow + (m.sentUs % 1'000'000);
      members.heard(m, "10.0.0." + std::to_string(n % 4), kNow);
      members.messageFor("10.0.0." + std::to_string(n % 4), kNow);
    } else if (why.empty()) {
      std::abort();  // dropped without a reason
    }
    if (members.startUs() != start || members.size() > PartyMembers::kMostMembers) std::abort();
    at += take;
  }
  members.forget(kNow + 6'000'000);
  return 0;
}
