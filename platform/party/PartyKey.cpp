#include "platform/party/PartyKey.h"

#include <sodium.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>

namespace {
// The same for every party: the key depends on the name alone, so that all who know it agree.
constexpr uint8_t kSalt[crypto_pwhash_SALTBYTES] = {'d', 'i', 's', 'c', 'o', ' ', 'p', 'a',
                                                    'r', 't', 'y', ' ', 'k', 'e', 'y', '2'};
constexpr char kIdContext[] = "disco party id";
}  // namespace

PartyKey PartyKey::derive(const std::string& name) {
  static std::mutex lock;
  static std::map<std::string, std::array<uint8_t, 32>> derived;  // members of one process (benchmarks)
  std::lock_guard<std::mutex> hold(lock);
  auto known = derived.find(name);
  if (known == derived.end()) {
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
    std::array<uint8_t, 32> key{};
    if (crypto_pwhash(key.data(), key.size(), name.data(), name.size(), kSalt, crypto_pwhash_OPSLIMIT_INTERACTIVE,
                      crypto_pwhash_MEMLIMIT_INTERACTIVE / 4, crypto_pwhash_ALG_ARGON2ID13) != 0)
      throw std::runtime_error("no memory to derive the party's key");
    known = derived.emplace(name, key).first;
  }
  return PartyKey(known->second);
}

PartyKey::PartyKey(const std::array<uint8_t, 32>& key) : key_(key) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
  uint8_t id[8];
  crypto_generichash(id, sizeof id, reinterpret_cast<const uint8_t*>(kIdContext), sizeof kIdContext - 1,
                     key_.data(), key_.size());
  for (int i = 0; i < 8; ++i) id_ |= uint64_t{id[i]} << (8 * i);
}

PartyKey::Tag PartyKey::tag(const uint8_t* data, size_t size) const {
  static_assert(crypto_auth_BYTES == kTagSize && crypto_auth_KEYBYTES == 32);
  Tag out{};
  crypto_auth(out.data(), data, size, key_.data());
  return out;
}

bool PartyKey::verify(const uint8_t* data, size_t size, const uint8_t* tag) const {
  return crypto_auth_verify(tag, data, size, key_.data()) == 0;
}

std::string PartyKey::idText() const {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(id_));
  return text;
}
