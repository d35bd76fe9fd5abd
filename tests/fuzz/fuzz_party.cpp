// A party member fed by anyone on the network. The input is a script of steps: messages built
// by the encoder (so that mutations reach the reading and the membership), some with the
// party's key (a member, who may say anything) and some without (a stranger who knows the
// party's id), raw datagrams, and time going by. The member is joining or settled, as the
// first byte says. Whatever comes, nothing but a message with the party's key may move the
// start, the members or the party's clock, and no time field may overflow (UBSan).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/party/PartyKey.h"
#include "platform/party/PartyNode.h"

namespace {
class Script {
 public:
  Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool more() const { return at_ < size_; }
  uint64_t take(int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes && at_ < size_; ++i) value |= uint64_t{data_[at_++]} << (8 * i);
    return value;
  }
  const uint8_t* rest(size_t& count) {
    count = std::min(count, size_ - at_);
    const uint8_t* from = data_ + at_;
    at_ += count;
    return from;
  }

 private:
  const uint8_t* data_;
  size_t size_, at_ = 0;
};

struct Snapshot {
  int64_t start, party;
  size_t members;
  bool operator==(const Snapshot&) const = default;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const PartyKey key(std::array<uint8_t, 32>{1, 2, 3}), guessed(std::array<uint8_t, 32>{66});
  int64_t now = 5'000'000'000;
  const PartyClocks clocks{[&now] { return now; }, [&now] { return now + 1'800'000'000'000'000; }};
  PartyNode node(key, 1, clocks, 0, 45617, [](const std::string&, const PartyMessage::Bytes&) {},
                 [](const std::string& line) {
                   if (line.empty()) std::abort();
                 });
  Script script(data, size);
  if (script.take(1) & 1) node.settle();
  const auto snapshot = [&] { return Snapshot{node.startUs(), node.partyUs(), node.members().size()}; };
  while (script.more()) {
    const unsigned step = static_cast<unsigned>(script.take(1));
    const std::string from = "10.0.0." + std::to_string(step >> 4) + ":45617";
    if ((step & 3) == 3) {  // time goes by: the member sends, forgets, follows
      now += static_cast<int64_t>(script.take(2)) * 1000;
      node.tick({from});
      continue;
    }
    const Snapshot before = snapshot();
    if ((step & 3) == 2) {  // anything at all
      size_t count = script.take(1);
      const uint8_t* bytes = script.rest(count);
      node.receive(bytes, count, from, true);
    } else {
      PartyMessage m;
      m.party = key.id();
      m.sender = script.take(1);
      m.sequence = script.take(2);
      m.to = script.take(1) & 1;
      m.sentUs = static_cast<int64_t>(script.take(8));
      m.partyOffsetUs = static_cast<int64_t>(script.take(8));
      m.startUs = static_cast<int64_t>(script.take(8));
      m.sinceUs = static_cast<int64_t>(script.take(8));
      m.echoSentUs = static_cast<int64_t>(script.take(8));
      m.echoHeldUs = static_cast<int64_t>(script.take(8));
      const bool genuine = (step & 3) == 0;
      const PartyMessage::Bytes bytes = m.encode(genuine ? key : guessed);
      node.receive(bytes.data(), bytes.size(), from, true);
      if (genuine) continue;
    }
    if (!(snapshot() == before)) std::abort();  // moved by what the party did not write
  }
  return 0;
}
