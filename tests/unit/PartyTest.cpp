#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/party/OffsetFilter.h"
#include "platform/party/PartyKey.h"
#include "platform/party/PartyMessage.h"
#include "unit/PartyLab.h"

namespace {

constexpr int64_t kSecond = 1000000;

PartyMessage hello(const PartyKey& key) {
  PartyMessage m;
  m.party = key.id();
  m.sender = 7;
  m.sequence = 3;
  m.to = 9;
  m.sentUs = 5000 * kSecond;
  m.partyOffsetUs = -42 * kSecond;
  m.startUs = 1'800'000'000 * kSecond;
  m.echoSentUs = 4999 * kSecond;
  m.echoHeldUs = 1234;
  m.flags = PartyMessage::kSilent;
  return m;
}

// Whatever arrives is the message sent, whole, or dropped with a reason: cut short, grown, any
// bit changed, written without the party's key (its id is public), or a time out of range.
TEST(PartyMessage, OnlyWholeMessagesWrittenWithThePartysKeyAreRead) {
  const PartyKey key = PartyLab::labKey();
  const PartyMessage::Bytes bytes = hello(key).encode(key);
  std::string why;
  const auto read = PartyMessage::decode(bytes.data(), bytes.size(), key, why);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->encode(key), bytes);

  EXPECT_FALSE(PartyMessage::decode(bytes.data(), bytes.size() - 1, key, why));
  EXPECT_EQ(why, "truncated");
  uint8_t longer[PartyMessage::kSize + 1] = {};
  std::copy(bytes.begin(), bytes.end(), longer);
  EXPECT_FALSE(PartyMessage::decode(longer, sizeof longer, key, why));
  EXPECT_EQ(why, "oversized");
  for (size_t at = 0; at < bytes.size(); ++at)
    for (uint8_t bit = 1; bit; bit <<= 1) {
      PartyMessage::Bytes changed = bytes;
      changed[at] ^= bit;
      ASSERT_FALSE(PartyMessage::decode(changed.data(), changed.size(), key, why)) << at;
      const bool idChanged = at >= 8 && at < 16;  // reads as another party's: nothing said
      ASSERT_EQ(why.empty(), idChanged) << at;
    }

  const PartyKey guessed(std::array<uint8_t, 32>{9});
  PartyMessage forged = hello(key);  // the id from the TXT record, the key guessed
  const PartyMessage::Bytes forgery = forged.encode(guessed);
  EXPECT_FALSE(PartyMessage::decode(forgery.data(), forgery.size(), key, why));
  EXPECT_EQ(why, "not written with the party's key (forged or damaged)");

  // Times at their limits are read; beyond them, even with the key, dropped before any arithmetic.
  int64_t PartyMessage::*const times[] = {&PartyMessage::sentUs, &PartyMessage::partyOffsetUs, &PartyMessage::startUs,
                                          &PartyMessage::echoSentUs, &PartyMessage::echoHeldUs};
  for (int64_t PartyMessage::*field : times)
    for (int64_t value : {INT64_MIN, INT64_MAX, -PartyMessage::kLatestUs - 1, PartyMessage::kLatestUs + 1}) {
      PartyMessage extreme = hello(key);
      extreme.*field = value;
      const PartyMessage::Bytes out = extreme.encode(key);
      EXPECT_FALSE(PartyMessage::decode(out.data(), out.size(), key, why)) << value;
      EXPECT_EQ(why, "a time out of range");
    }
  PartyMessage edge = hello(key);
  edge.sentUs = edge.echoSentUs = edge.partyOffsetUs = PartyMessage::kLatestUs;
  edge.startUs = -PartyMessage::kLatestUs;
  const PartyMessage::Bytes out = edge.encode(key);
  EXPECT_TRUE(PartyMessage::decode(out.data(), out.size(), key, why));
}

// A clock 80 ppm fast, measured once a second with every third exchange held up 4 ms on one
// way: the slow ones do not count, and the drift is followed to now, not to the window's middle.
TEST(OffsetFilter, KeepsTheQuickestExchangesAndFollowsDrift) {
  OffsetFilter filter;
  const auto truth = [](int64_t at) { return 3 * kSecond + at * 80 / 1000000; };
  EXPECT_FALSE(filter.estimate(0));
  for (int64_t n = 0; n < 30; ++n) {
    const int64_t at = n * kSecond;
    const int64_t late = n % 3 == 0 ? 4000 : 0;
    filter.add(at, 500 + late, truth(at) + late / 2 + (n % 2 ? 20 : -20));
  }
  EXPECT_NEAR(static_cast<double>(*filter.estimate(30 * kSecond)), static_cast<double>(truth(30 * kSecond)), 25);
  EXPECT_EQ(filter.bestRoundTripUs(), 500);
  EXPECT_EQ(filter.size(), OffsetFilter::kWindow);
}

}  // namespace
