#include "platform/party/PartyMembers.h"

#include <algorithm>
#include <cstdlib>

namespace {
// A round trip measured this long ago no longer stands for the best: clocks drift apart.
constexpr int64_t kRoundTripMemoryUs = 30 * PartyMembers::kSecond;
}  // namespace

PartyMembers::PartyMembers(uint64_t party, uint64_t self, int64_t joinedUs, uint16_t flags)
    : party_(party), self_(self), flags_(flags), startUs_(joinedUs) {}

PartyMembers::Verdict PartyMembers::heard(const PartyMessage& message, const std::string& from, int64_t nowUs) {
  if (message.party != party_) return Verdict::OtherParty;
  if (message.sender == self_) return Verdict::Own;
  if (std::llabs(message.sentUs - nowUs) > kStaleUs) return Verdict::Stale;
  if (message.startUs > nowUs + kFutureStartUs || message.startUs < nowUs - kOldestStartUs)
    return Verdict::StartFarOff;
  auto known = members_.find(message.sender);
  if (known == members_.end()) {
    if (members_.size() >= kMostMembers) return Verdict::TooMany;
    known = members_.emplace(message.sender, Member{}).first;
  } else if (message.sequence <= known->second.sequence) {
    return Verdict::Replayed;
  }
  Member& member = known->second;
  // Where it was first heard from: a stranger relaying its messages does not draw its traffic.
  if (member.address.empty()) member.address = from;
  member.sequence = message.sequence;
  member.lastHeardUs = nowUs;
  lastFrom_[from] = Heard{message.sentUs, nowUs};
  measure(member, message, nowUs);
  if (!settled_ && message.startUs < startUs_) startUs_ = message.startUs;
  return Verdict::Taken;
}

void PartyMembers::measure(Member& member, const PartyMessage& message, int64_t nowUs) {
  // t1: our message went; t2: it arrived there; t3: this one went; t4: now.
  const int64_t t1 = message.echoSentUs, t3 = message.sentUs, t4 = nowUs;
  const int64_t t2 = t3 - message.echoHeldUs;
  if (t1 <= 0 || t1 > t4 || message.echoHeldUs < 0) return;  // no echo, or not one of ours
  const int64_t roundTrip = (t4 - t1) - message.echoHeldUs;
  if (roundTrip < 0) return;
  const bool better = !member.offsetUs || roundTrip <= member.bestRoundTripUs ||
                      nowUs - member.roundTripAgeUs > kRoundTripMemoryUs;
  if (!better) return;
  member.offsetUs = ((t2 - t1) + (t3 - t4)) / 2;
  member.bestRoundTripUs = roundTrip;
  member.roundTripAgeUs = nowUs;
}

PartyMessage PartyMembers::messageFor(const std::string& to, int64_t nowUs) {
  PartyMessage message;
  message.party = party_;
  message.sender = self_;
  message.sequence = ++sequence_;
  message.sentUs = nowUs;
  message.startUs = startUs_;
  message.flags = flags_;
  const auto heard = lastFrom_.find(to);
  if (heard != lastFrom_.end()) {
    message.echoSentUs = heard->second.sentUs;
    message.echoHeldUs = nowUs - heard->second.receivedUs;
  }
  return message;
}

bool PartyMembers::forget(int64_t nowUs) {
  const size_t before = members_.size();
  std::erase_if(members_, [nowUs](const auto& entry) { return nowUs - entry.second.lastHeardUs > kForgetAfterUs; });
  std::erase_if(lastFrom_, [nowUs](const auto& entry) { return nowUs - entry.second.receivedUs > kForgetAfterUs; });
  return members_.size() != before;
}
