// Members of a party on a simulated network (PartyLab): one clock for the party whatever the
// machines' clocks say, a leader leaving, two parties meeting, and strangers who do not know
// the party's name.
#include <gtest/gtest.h>

#include <cstdlib>

#include "unit/PartyLab.h"

namespace {

constexpr int64_t kSecond = 1000000, kMs = 1000;
constexpr int64_t kInStepUs = 100;  // the members' party clocks, measured over quick exchanges
constexpr int64_t kSmoothUs = 2;    // a step's party time off a millisecond: a glide and the drift

// Each member's party time moves with true time, a millisecond a step: never a jump, at most
// a glide's 0.1 % and the crystal's drift (0.2 %, what the music's stretching follows unheard).
class Smoothness {
 public:
  explicit Smoothness(PartyLab& lab, std::vector<LabMember*> only = {}) : lab_(lab), only_(std::move(only)) {}
  void operator()() {
    for (LabMember* m : only_.empty() ? lab_.up() : only_) {
      const int64_t now = m->partyUs();
      if (last_.count(m)) worstUs = std::max<int64_t>(worstUs, std::abs(now - last_[m] - kMs));
      last_[m] = now;
    }
  }
  int64_t worstUs = 0;

 private:
  PartyLab& lab_;
  std::vector<LabMember*> only_;
  std::map<const LabMember*, int64_t> last_;
};

// Machines whose clocks are seconds apart, and drift, show one party time; setting a system
// clock back or forward on the way moves no one's party time and loses no one.
TEST(PartyNetwork, OneClockWhateverTheMachinesClocksSay) {
  PartyLab lab;
  LabMember& first = lab.add(5'000 * kSecond, 0, 0);
  lab.run(3 * kSecond);
  LabMember& ahead = lab.add(77 * kSecond, 80, 3 * kSecond);  // 3 s ahead, 80 ppm fast
  LabMember& behind = lab.add(123 * kSecond, -60, -40 * kMs);
  lab.run(20 * kSecond);
  for (LabMember* m : lab.up()) EXPECT_EQ(m->node->startUs(), first.node->startUs());
  Smoothness smooth(lab);
  int64_t spread = 0;
  const auto watch = [&] {
    smooth();
    spread = std::max(spread, lab.spreadUs());
  };
  lab.run(10 * kSecond, watch);
  ahead.realtimeOffsetUs -= 10 * kSecond;  // a time service sets it back
  lab.run(10 * kSecond, watch);
  behind.realtimeOffsetUs += 3600 * kSecond;
  lab.run(10 * kSecond, watch);
  EXPECT_LE(spread, kInStepUs);
  EXPECT_LE(smooth.worstUs, kSmoothUs);
  for (LabMember* m : lab.up()) EXPECT_EQ(m->said("gone silent"), 0u) << m->address;
}

// The leader (the member whose clock the others follow: the one of the party longest, not a
// newcomer with its first rough measurements) leaves: the others go on from where the party's
// time was, gliding onto the next one's clock unseen and unheard.
TEST(PartyNetwork, ALeaderLeavingLeavesNoJump) {
  PartyLab lab;
  LabMember& leader = lab.add(0, 100, 0);
  lab.run(kSecond);
  lab.add(9 * kSecond, -100, 0);
  lab.add(4 * kSecond, 30, 0);
  lab.run(30 * kSecond);
  for (LabMember* m : lab.up())
    EXPECT_EQ(m->node->members().following(), m == &leader ? 0 : leader.id) << m->address;
  Smoothness smooth(lab);
  lab.run(kSecond, std::ref(smooth));
  leader.up = false;
  lab.run(40 * kSecond, std::ref(smooth));
  EXPECT_LE(smooth.worstUs, kSmoothUs);
  EXPECT_LE(lab.spreadUs(), kInStepUs);
  for (LabMember* m : lab.up()) EXPECT_EQ(m->said("1 member(s) gone silent"), 1u);
}

// A member started again on its machine (its address and port, a new process) is of the party
// at once: the others answer the new process rather than the one gone, so it takes the party's
// start before it settles, and the others say so.
TEST(PartyNetwork, AMemberStartedAgainJoinsAtOnce) {
  PartyLab lab;
  LabMember& a = lab.add(0, 20, 0);
  LabMember& b = lab.add(kSecond, -20, 0);
  std::vector<PartyMessage::Bytes> fromB;  // the process before's own messages, to replay
  lab.overheard = [&](const std::string& from, const std::string&, const PartyMessage::Bytes& bytes) {
    if (from == b.address && b.up) fromB.push_back(bytes);
  };
  lab.run(20 * kSecond);
  b.up = false;
  lab.run(kSecond);  // far sooner than it is forgotten
  LabMember& again = lab.add(7 * kSecond, -20, 0, 0, PartyLab::labKey(), b.address);
  lab.run(10 * kSecond);
  // Its messages replayed from its address name the process before: they displace nothing.
  for (const PartyMessage::Bytes& old : fromB) lab.inject(a, b.address, old.data(), old.size());
  lab.run(2 * kSecond);
  EXPECT_EQ(again.node->startUs(), a.node->startUs());
  EXPECT_EQ(again.said("joined the party that had run longer"), 0u);  // never a party of its own
  EXPECT_EQ(a.said("the member at " + b.address + " started again (2 in all)"), 1u);
  EXPECT_EQ(a.node->members().size(), 1u);
  EXPECT_EQ(a.said("gone silent"), 0u);
  EXPECT_LE(lab.spreadUs(), kInStepUs);
}

// Two parties of the same name that settled apart meet: the younger one's members take the
// older one's start and clock, once each, and say so; the older one's members notice nothing.
TEST(PartyNetwork, PartiesThatSettledApartBecomeOne) {
  PartyLab lab;
  LabMember& a = lab.add(0, 20, 0, 0);
  LabMember& b = lab.add(kSecond, -20, 0, 0);
  lab.run(20 * kSecond);
  LabMember& c = lab.add(2 * kSecond, 50, -2 * kSecond, 1);  // its clock behind: its start looks older
  LabMember& d = lab.add(3 * kSecond, 0, 0, 1);
  lab.run(20 * kSecond);
  ASSERT_NE(c.node->startUs(), a.node->startUs());
  const int64_t start = a.node->startUs();
  Smoothness older(lab, {&a, &b});
  lab.groupsJoined = true;
  lab.run(15 * kSecond, std::ref(older));
  for (LabMember* m : {&a, &b, &c, &d}) EXPECT_EQ(m->node->startUs(), start) << m->address;
  for (LabMember* m : {&c, &d}) EXPECT_EQ(m->said("joined the party that had run longer"), 1u) << m->address;
  for (LabMember* m : {&a, &b}) EXPECT_EQ(m->said("joined the party"), 0u) << m->address;
  EXPECT_LE(older.worstUs, kSmoothUs);
  EXPECT_LE(lab.spreadUs(), kInStepUs);
}

// Strangers who know the party's id (it is in every message and announcement) but not its name:
// forged hellos and starts a month back, a member's id with the highest sequence, a thousand
// made-up senders, replays and relays of the members' own messages from other addresses, and
// twenty made-up announcements. Nothing moves the start, the members or the clock; no stranger
// is sent a datagram but the announced ones, a few times and then rarely; the log says each
// kind of drop once. (The members' own datagrams are overheard and replayed.)
TEST(PartyNetwork, StrangersMoveNothingAndDrawNoAnswers) {
  PartyLab lab;
  LabMember& first = lab.add(0, 0, 0);
  LabMember& target = lab.add(kSecond, 40, 0);
  std::vector<std::pair<std::string, PartyMessage::Bytes>> overheard;
  PartyMessage::Bytes toAnnounced{};  // the first member's latest to a made-up announcement: for no one
  lab.overheard = [&](const std::string& from, const std::string& to, const PartyMessage::Bytes& bytes) {
    overheard.emplace_back(from, bytes);
    if (from == first.address && to.rfind("10.9.", 0) == 0) toAnnounced = bytes;
  };
  lab.run(10 * kSecond);
  const int64_t start = target.node->startUs();
  const size_t linesBefore = target.lines.size();
  for (int i = 0; i < 20; ++i) lab.announcedExtra.push_back("10.9.0." + std::to_string(i) + ":45617");

  const PartyKey guessed(std::array<uint8_t, 32>{66});
  const auto forge = [&](uint64_t sender, uint64_t sequence, int64_t startUs) {
    PartyMessage m;
    m.party = PartyLab::labKey().id();
    m.sender = sender;
    m.sequence = sequence;
    m.sentUs = 1000 * kSecond;
    m.startUs = startUs;
    return m.encode(guessed);
  };
  Smoothness smooth(lab);
  int64_t spread = 0;
  lab.run(60 * kSecond, [&] {
    smooth();
    spread = std::max(spread, lab.spreadUs());
    const int64_t step = (lab.now / kMs) % 60000;
    if (step < 1000) {  // a thousand made-up senders, once
      const PartyMessage::Bytes bytes = forge(1000 + step, 1, start - 29LL * 86400 * kSecond);
      lab.inject(target, "10.7.0." + std::to_string(step % 250) + ":" + std::to_string(2000 + step), bytes.data(), bytes.size());
    }
    if (step % 100 == 0) {
      const PartyMessage::Bytes id = forge(1, UINT64_MAX / 2, start);  // the first member's id, far ahead
      lab.inject(target, first.address, id.data(), id.size());
      const auto& [from, old] = overheard[static_cast<size_t>(step / 100) % 40];
      lab.inject(target, from, old.data(), old.size());                     // replayed
      lab.inject(target, "10.8.0.1:45617", overheard.back().second.data(), PartyMessage::kSize);  // relayed
      lab.inject(target, "10.6.0.1:45617", toAnnounced.data(), PartyMessage::kSize);  // from a spoofed source
    }
  });
  EXPECT_EQ(target.node->startUs(), start);
  EXPECT_EQ(target.node->members().size(), 1u);
  EXPECT_LE(spread, kInStepUs);
  EXPECT_LE(smooth.worstUs, kSmoothUs);
  EXPECT_EQ(target.said("gone silent") + first.said("gone silent"), 0u);
  for (const auto& [to, count] : lab.datagramsTo) {
    if (to.rfind("10.0.0.", 0) == 0) continue;  // the members
    EXPECT_EQ(to.rfind("10.9.0.", 0), 0u) << "a datagram to " << to;
    EXPECT_LE(count, 2 * (PeerAttempts::kQuickTries + 2)) << to;  // each member: a few, then every 30 s
  }
  EXPECT_LE(target.lines.size() - linesBefore, 8u) << target.lines.back();
}

}  // namespace

namespace {
// Members are announced, but nothing they send gets through (a firewall): after 10 s the member
// says once which port to open; one that hears its party says nothing of it.
TEST(PartyNetwork, AMemberThatHearsNoOneNamesThePort) {
  PartyLab lab;
  LabMember& alone = lab.add(0, 0, 0);
  lab.announcedExtra.push_back("10.9.0.1:45617");
  lab.run(9 * kSecond);
  EXPECT_EQ(alone.said("UDP port 45617"), 0u);
  lab.run(30 * kSecond);
  EXPECT_EQ(alone.said("is UDP port 45617 blocked?"), 1u);
  LabMember& heard = lab.add(kSecond, 0, 0);
  lab.run(30 * kSecond);
  EXPECT_EQ(heard.said("UDP port"), 0u);
}
}  // namespace
