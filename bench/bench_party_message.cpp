// What authenticating a party's messages costs: a message written and read with the party's
// tag (HMAC-SHA-512/256 over 80 bytes, libsodium), against the same message written and read
// with a plain 64-bit checksum (FNV-1a), as the messages carried before, in the same run.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <string>

#include "platform/party/PartyKey.h"
#include "platform/party/PartyMessage.h"

namespace {
PartyMessage sample(const PartyKey& key) {
  PartyMessage m;
  m.party = key.id();
  m.sender = 12345;
  m.sequence = 678;
  m.sentUs = 5'000'000'000;
  m.startUs = 1'800'000'000'000'000;
  return m;
}

void BM_WrittenAndReadWithTheTag(benchmark::State& state) {
  const PartyKey key(std::array<uint8_t, 32>{1, 2, 3});
  PartyMessage m = sample(key);
  std::string why;
  for (auto _ : state) {
    ++m.sequence;
    const PartyMessage::Bytes bytes = m.encode(key);
    benchmark::DoNotOptimize(PartyMessage::decode(bytes.data(), bytes.size(), key, why));
  }
}
BENCHMARK(BM_WrittenAndReadWithTheTag);

uint64_t fnv1a(const uint8_t* data, size_t size) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001b3ull;
  return hash;
}

// The baseline: the same fields into the same bytes, a checksum written, then checked.
void BM_WrittenAndReadWithAChecksum(benchmark::State& state) {
  PartyMessage m = sample(PartyKey(std::array<uint8_t, 32>{1, 2, 3}));
  PartyMessage::Bytes bytes{};
  for (auto _ : state) {
    ++m.sequence;
    std::memcpy(bytes.data(), &m, std::min(sizeof m, bytes.size()));
    const uint64_t sum = fnv1a(bytes.data(), PartyMessage::kTagAt);
    std::memcpy(bytes.data() + PartyMessage::kTagAt, &sum, sizeof sum);
    PartyMessage read;
    std::memcpy(&read, bytes.data(), std::min(sizeof read, bytes.size()));
    benchmark::DoNotOptimize(read);
    benchmark::DoNotOptimize(fnv1a(bytes.data(), PartyMessage::kTagAt) == sum);
  }
}
BENCHMARK(BM_WrittenAndReadWithAChecksum);

// Deriving the key from the name, once per member at start.
void BM_KeyDerivedFromTheName(benchmark::State& state) {
  int n = 0;
  for (auto _ : state) benchmark::DoNotOptimize(PartyKey::derive("bench " + std::to_string(n++)));
}
BENCHMARK(BM_KeyDerivedFromTheName)->Unit(benchmark::kMillisecond)->Iterations(5);
}  // namespace

BENCHMARK_MAIN();
