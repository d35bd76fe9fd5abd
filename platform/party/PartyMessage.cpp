#include "platform/party/PartyMessage.h"

#include <algorithm>

#include "platform/party/PartyKey.h"

namespace {
constexpr std::array<uint8_t, 4> kMagic{'D', 'S', 'C', 'P'};
constexpr uint8_t kKindHello = 1;

class Writer {
 public:
  explicit Writer(PartyMessage::Bytes& bytes) : bytes_(bytes) {}
  void put(uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes_[at_++] = static_cast<uint8_t>(value >> (8 * i));
  }

 private:
  PartyMessage::Bytes& bytes_;
  size_t at_ = 0;
};

class Reader {
 public:
  Reader(const uint8_t* data, size_t at) : data_(data), at_(at) {}
  uint64_t get(int size) {
    uint64_t value = 0;
    for (int i = 0; i < size; ++i) value |= uint64_t{data_[at_++]} << (8 * i);
    return value;
  }

 private:
  const uint8_t* data_;
  size_t at_;
};

bool within(int64_t value, int64_t lowest, int64_t highest) { return value >= lowest && value <= highest; }
}  // namespace

PartyMessage::Bytes PartyMessage::encode(const PartyKey& key) const {
  Bytes bytes{};
  Writer out(bytes);
  for (uint8_t m : kMagic) out.put(m, 1);
  out.put(kVersion, 1);
  out.put(kKindHello, 1);
  out.put(flags, 2);
  out.put(party, 8);
  out.put(sender, 8);
  out.put(sequence, 8);
  out.put(to, 8);
  out.put(static_cast<uint64_t>(sentUs), 8);
  out.put(static_cast<uint64_t>(partyOffsetUs), 8);
  out.put(static_cast<uint64_t>(startUs), 8);
  out.put(static_cast<uint64_t>(sinceUs), 8);
  out.put(static_cast<uint64_t>(echoSentUs), 8);
  out.put(static_cast<uint64_t>(echoHeldUs), 8);
  const PartyKey::Tag tag = key.tag(bytes.data(), kTagAt);
  std::copy(tag.begin(), tag.end(), bytes.begin() + kTagAt);
  return bytes;
}

std::optional<PartyMessage> PartyMessage::decode(const uint8_t* data, size_t size, const PartyKey& key,
                                                 std::string& why) {
  why.clear();
  if (size != kSize) {
    why = size < kSize ? "truncated" : "oversized";
    return std::nullopt;
  }
  if (!std::equal(kMagic.begin(), kMagic.end(), data)) {
    why = "not a party message";
    return std::nullopt;
  }
  Reader in(data, kMagic.size());
  if (in.get(1) != kVersion) {
    why = "another version";
    return std::nullopt;
  }
  if (in.get(1) != kKindHello) {
    why = "unknown kind";
    return std::nullopt;
  }
  PartyMessage message;
  message.flags = static_cast<uint16_t>(in.get(2));
  message.party = in.get(8);
  if (message.party != key.id()) return std::nullopt;  // another party's
  if (!key.verify(data, kTagAt, data + kTagAt)) {
    why = "not written with the party's key (forged or damaged)";
    return std::nullopt;
  }
  message.sender = in.get(8);
  message.sequence = in.get(8);
  message.to = in.get(8);
  message.sentUs = static_cast<int64_t>(in.get(8));
  message.partyOffsetUs = static_cast<int64_t>(in.get(8));
  message.startUs = static_cast<int64_t>(in.get(8));
  message.sinceUs = static_cast<int64_t>(in.get(8));
  message.echoSentUs = static_cast<int64_t>(in.get(8));
  message.echoHeldUs = static_cast<int64_t>(in.get(8));
  if (!within(message.sentUs, 0, kLatestUs) || !within(message.partyOffsetUs, -kLatestUs, kLatestUs) ||
      !within(message.startUs, -kLatestUs, kLatestUs) || !within(message.sinceUs, -kLatestUs, kLatestUs) || !within(message.echoSentUs, 0, kLatestUs) ||
      !within(message.echoHeldUs, 0, kLongestHoldUs)) {
    why = "a time out of range";
    return std::nullopt;
  }
  return message;
}
