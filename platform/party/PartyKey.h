#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// A party's secret: its name is the passphrase. Every message carries a tag made with the key
// derived from it, so only members who know the name can write one; what the network sees of
// the party (its messages' id, the service's TXT record) is derived from the key, never the name.
class PartyKey {
 public:
  static constexpr size_t kTagSize = 32;
  using Tag = std::array<uint8_t, kTagSize>;

  // Slow on purpose (a memory-hard hash), so that a name cannot be guessed quickly from a
  // message overheard; derived once per name in a process.
  static PartyKey derive(const std::string& name);
  // A key of given bytes: tests.
  explicit PartyKey(const std::array<uint8_t, 32>& key);

  Tag tag(const uint8_t* data, size_t size) const;
  // In constant time.
  bool verify(const uint8_t* data, size_t size, const uint8_t* tag) const;
  // Tells the party's messages and services from others' at a glance; not a secret.
  uint64_t id() const { return id_; }
  // id() as 16 hex digits, for the TXT record.
  std::string idText() const;

 private:
  std::array<uint8_t, 32> key_;
  uint64_t id_ = 0;
};
