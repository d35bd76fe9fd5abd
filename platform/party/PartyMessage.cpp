#include "platform/party/PartyMessage.h"

namespace {
constexpr std::array<uint8_t, 4> kMagic{'D', 'S', 'C', 'P'};
constexpr uint8_t kKindHello = 1;

// FNV-1a, 64 bits: a name's key, and (folded to 32) the checksum.
uint64_t fnv1a(const uint8_t* data, size_t size) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001b3ull;
  return hash;
}

uint32_t checksum(const uint8_t* data, size_t size) {
  const uint64_t hash = fnv1a(data, size);
  return static_cast<uint32_t>(hash ^ (hash >> 32));
}

class Writer {
 public:
  explicit Writer(PartyMessage::Bytes& bytes) : bytes_(bytes) {}
  void put(uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes_[at_++] = static_cast<uint8_t>(value >> (8 * i));
  }
  size_t at() const { return at_; }

 private:
  PartyMessage::Bytes& bytes_;
  size_t at_ = 0;
};

class Reader {
 public:
  explicit Reader(const uint8_t* data) : data_(data) {}
  uint64_t get(int size) {
    uint64_t value = 0;
    for (int i = 0; i < size; ++i) value |= uint64_t{data_[at_++]} << (8 * i);
    return value;
  }

 private:
  const uint8_t* data_;
  size_t at_ = 0;
};
}  // namespace

uint64_t partyKey(const std::string& name) {
  return fnv1a(reinterpret_cast<const uint8_t*>(name.data()), name.size());
}

PartyMessage::Bytes PartyMessage::encode() const {
  Bytes bytes{};
  Writer out(bytes);
  for (uint8_t m : kMagic) out.put(m, 1);
  out.put(kVersion, 1);
  out.put(kKindHello, 1);
  out.put(flags, 2);
  out.put(party, 8);
  out.put(sender, 8);
  out.put(sequence, 8);
  out.put(static_cast<uint64_t>(sentUs), 8);
  out.put(static_cast<uint64_t>(startUs), 8);
  out.put(static_cast<uint64_t>(echoSentUs), 8);
  out.put(static_cast<uint64_t>(echoHeldUs), 8);
  out.put(checksum(bytes.data(), out.at()), 4);
  return bytes;
}

std::optional<PartyMessage> PartyMessage::decode(const uint8_t* data, size_t size, std::string& why) {
  if (size != kSize) {
    why = size < kSize ? "truncated" : "oversized";
    return std::nullopt;
  }
  Reader in(data);
  for (uint8_t m : kMagic)
    if (in.get(1) != m) {
      why = "not a party message";
      return std::nullopt;
    }
  if (in.get(1) != kVersion) {
    why = "another version";
    return std::nullopt;
  }
  if (in.get(1) != kKindHello) {
    why = "unknown kind";
    return std::nullopt;
  }
  Reader end(data + kSize - 4);
  if (end.get(4) != checksum(data, kSize - 4)) {
    why = "damaged";
    return std::nullopt;
  }
  PartyMessage message;
  message.flags = static_cast<uint16_t>(in.get(2));
  message.party = in.get(8);
  message.sender = in.get(8);
  message.sequence = in.get(8);
  message.sentUs = static_cast<int64_t>(in.get(8));
  message.startUs = static_cast<int64_t>(in.get(8));
  message.echoSentUs = static_cast<int64_t>(in.get(8));
  message.echoHeldUs = static_cast<int64_t>(in.get(8));
  return message;
}
