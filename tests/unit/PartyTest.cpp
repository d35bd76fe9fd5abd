#include <gtest/gtest.h>

#include <string>

#include "platform/party/PartyMembers.h"
#include "platform/party/PartyMessage.h"

namespace {

constexpr int64_t kSecond = PartyMembers::kSecond;
constexpr int64_t kNow = 1'800'000'000 * kSecond;  // a moment in 2027

PartyMessage hello(uint64_t sender, uint64_t sequence, int64_t sentUs, int64_t startUs) {
  PartyMessage m;
  m.party = partyKey("lab");
  m.sender = sender;
  m.sequence = sequence;
  m.sentUs = sentUs;
  m.startUs = startUs;
  return m;
}

// Whatever arrives is either the message sent, whole, or dropped: cut short, grown, any byte
// changed, another version.
TEST(PartyMessage, OnlyWholeMessagesOfThisVersionAreRead) {
  PartyMessage sent = hello(7, 3, kNow, kNow - 5 * kSecond);
  sent.echoSentUs = kNow - kSecond;
  sent.echoHeldUs = 1234;
  sent.flags = PartyMessage::kSilent;
  const PartyMessage::Bytes bytes = sent.encode();
  std::string why;
  const auto read = PartyMessage::decode(bytes.data(), bytes.size(), why);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->encode(), bytes);

  for (size_t size = 0; size < bytes.size(); ++size) EXPECT_FALSE(PartyMessage::decode(bytes.data(), size, why));
  EXPECT_EQ(why, "truncated");
  uint8_t longer[PartyMessage::kSize + 1] = {};
  std::copy(bytes.begin(), bytes.end(), longer);
  EXPECT_FALSE(PartyMessage::decode(longer, sizeof longer, why));
  EXPECT_EQ(why, "oversized");
  for (size_t at = 0; at < bytes.size(); ++at)
    for (uint8_t bit = 1; bit; bit <<= 1) {
      PartyMessage::Bytes changed = bytes;
      changed[at] ^= bit;
      ASSERT_FALSE(PartyMessage::decode(changed.data(), changed.size(), why)) << at;
    }
  PartyMessage::Bytes newer = bytes;
  newer[4] = PartyMessage::kVersion + 1;
  EXPECT_FALSE(PartyMessage::decode(newer.data(), newer.size(), why));
  EXPECT_EQ(why, "another version");
}

// The first member's start becomes everyone's while they join; after that nothing moves it.
// Messages of other parties, our own, replayed ones, stale ones and far-off starts are dropped.
TEST(PartyMembers, AgreeOnTheFirstStartAndDropWhatCannotBeTrusted) {
  using V = PartyMembers::Verdict;
  PartyMembers members(partyKey("lab"), 1, kNow);
  EXPECT_EQ(members.heard(hello(2, 1, kNow, kNow + kSecond), "a", kNow), V::Taken);
  EXPECT_EQ(members.startUs(), kNow);  // a later start is not taken
  EXPECT_EQ(members.heard(hello(3, 1, kNow, kNow - 60 * kSecond), "b", kNow), V::Taken);
  EXPECT_EQ(members.startUs(), kNow - 60 * kSecond);  // an earlier one is
  members.settle();
  EXPECT_EQ(members.heard(hello(4, 1, kNow, kNow - 3600 * kSecond), "c", kNow), V::Taken);
  EXPECT_EQ(members.startUs(), kNow - 60 * kSecond);  // settled: kept
  EXPECT_EQ(members.size(), 3u);

  PartyMessage other = hello(5, 1, kNow, kNow);
  other.party = partyKey("lab2");
  EXPECT_EQ(members.heard(other, "d", kNow), V::OtherParty);
  EXPECT_EQ(members.heard(hello(1, 9, kNow, kNow), "e", kNow), V::Own);
  EXPECT_EQ(members.heard(hello(2, 1, kNow, kNow), "a", kNow), V::Replayed);
  EXPECT_EQ(members.heard(hello(6, 1, kNow - 61 * kSecond, kNow - 70 * kSecond), "f", kNow), V::Stale);
  EXPECT_EQ(members.heard(hello(6, 1, kNow, kNow + 6 * kSecond), "f", kNow), V::StartFarOff);
  EXPECT_EQ(members.heard(hello(6, 1, kNow, kNow - 31LL * 24 * 3600 * kSecond), "f", kNow), V::StartFarOff);
  EXPECT_EQ(members.size(), 3u);

  // Silent for five seconds: gone, and a flood of new senders is held at the limit.
  EXPECT_FALSE(members.forget(kNow + 5 * kSecond));
  EXPECT_TRUE(members.forget(kNow + 5 * kSecond + 1));
  EXPECT_EQ(members.size(), 0u);
  for (uint64_t sender = 100; sender < 100 + PartyMembers::kMostMembers; ++sender)
    ASSERT_EQ(members.heard(hello(sender, 1, kNow, kNow), "g", kNow), V::Taken);
  EXPECT_EQ(members.heard(hello(99, 1, kNow, kNow), "g", kNow), V::TooMany);
}

// Two members whose clocks are 40 ms apart, 3 ms each way between them, answering each other
// a while after: each works out the other's offset from its own messages.
TEST(PartyMembers, MeasureEachOthersClock) {
  const int64_t ahead = 40000, way = 3000;  // microseconds
  PartyMembers a(partyKey("lab"), 1, kNow), b(partyKey("lab"), 2, kNow + ahead);
  int64_t t = kNow;  // a's clock
  for (int round = 0; round < 3; ++round) {
    b.heard(a.messageFor("b", t), "a", t + way + ahead);
    t += 400000;  // b answers later
    a.heard(b.messageFor("a", t + ahead), "b", t + way);
    t += 600000;
  }
  ASSERT_TRUE(a.members().at(2).offsetUs);
  EXPECT_EQ(*a.members().at(2).offsetUs, ahead);
  EXPECT_EQ(a.members().at(2).bestRoundTripUs, 2 * way);
  ASSERT_TRUE(b.members().at(1).offsetUs);
  EXPECT_EQ(*b.members().at(1).offsetUs, -ahead);
}

}  // namespace
