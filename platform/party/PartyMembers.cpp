#include "platform/party/PartyMembers.h"

#include <algorithm>
#include <cstdint>

PartyMembers::PartyMembers(uint64_t party, uint64_t self, int64_t nowUs, int64_t partyNowUs, uint16_t flags)
    : party_(party), self_(self), flags_(flags), clock_(partyNowUs - nowUs), startUs_(partyNowUs), sinceUs_(partyNowUs) {}

std::optional<PartyMembers::RoundTrip> PartyMembers::roundTrip(const PartyMessage& message, const std::string& from,
                                                               int64_t nowUs) const {
  // t1: ours went; t2: it arrived there; t3: this one went; t4: now. Every time was checked in
  // range on arrival, so none of this overflows.
  const int64_t t1 = message.echoSentUs, t3 = message.sentUs, t4 = nowUs, held = message.echoHeldUs;
  const auto sent = sent_.find(from);
  if (t1 == 0 || sent == sent_.end() || std::find(sent->second.at.begin(), sent->second.at.end(), t1) == sent->second.at.end())
    return std::nullopt;  // not an echo of ours to that address
  const int64_t roundTrip = (t4 - t1) - held;
  if (roundTrip < 0) return std::nullopt;
  // The offset it gives is the clocks' in the middle of the exchange (held a second, that counts
  // with clocks that drift apart).
  return RoundTrip{roundTrip, ((t3 - held - t1) + (t3 - t4)) / 2, t1 + (t4 - t1) / 2};
}

PartyMembers::Verdict PartyMembers::heard(const PartyMessage& message, const std::string& from, int64_t nowUs) {
  if (message.sender == self_) return Verdict::Own;
  if (message.to != 0 && message.to != self_) return Verdict::NotForUs;
  auto member = members_.find(message.sender);
  auto stranger = strangers_.find(message.sender);
  // Each sender's sequence is judged by its own earlier messages alone.
  const uint64_t last = member != members_.end() ? member->second.sequence
                        : stranger != strangers_.end() ? stranger->second.sequence : 0;
  if (message.sequence <= last) return Verdict::Replayed;
  if (message.startUs > message.sentUs + message.partyOffsetUs + kFutureStartUs) return Verdict::StartFarOff;

  const std::optional<RoundTrip> trip = roundTrip(message, from, nowUs);
  const bool fromItsAddress = member != members_.end() && member->second.address == from;
  if (!trip && !fromItsAddress) {
    if (message.echoSentUs != 0 && member != members_.end()) return Verdict::Relayed;
    if (stranger == strangers_.end()) {
      if (strangers_.size() >= kMostStrangers) return Verdict::TooMany;
      stranger = strangers_.emplace(message.sender, Stranger{}).first;
    }
    stranger->second = Stranger{from, message.sequence, message.sentUs, nowUs};
    return Verdict::Stranger;
  }
  bool startedAgain = false;
  if (member == members_.end()) {
    startedAgain = std::erase_if(members_, [&from](const auto& entry) { return entry.second.address == from; }) > 0;
    if (members_.size() >= kMostMembers) return Verdict::TooMany;
    member = members_.emplace(message.sender, Member{}).first;
    if (stranger != strangers_.end()) strangers_.erase(stranger);
  }
  Member& m = member->second;
  m.address = from;
  m.sequence = message.sequence;
  m.lastHeardUs = nowUs;
  m.startUs = message.startUs;
  m.sinceUs = message.sinceUs;
  m.partyOffsetUs = message.partyOffsetUs;
  m.flags = message.flags;
  m.lastSentUs = message.sentUs;
  if (trip) m.clock.add(trip->atUs, trip->roundTripUs, trip->offsetUs);
  if (startedAgain) followParty(nowUs);  // it may have led: the next one does
  follow(m, nowUs);
  return startedAgain ? Verdict::StartedAgain : Verdict::Taken;
}

void PartyMembers::follow(const Member& sender, int64_t nowUs) {
  if (sender.startUs == startUs_) return followParty(nowUs);
  const std::optional<int64_t> offset = sender.clock.estimate(nowUs);
  if (!offset) return;  // measured first
  // How long each party has run, each on its own clock.
  const int64_t theirs = nowUs + *offset + sender.partyOffsetUs - sender.startUs;
  const int64_t ours = clock_.partyUs(nowUs) - startUs_;
  const bool longer = theirs > ours + kSameAgeUs || (theirs >= ours - kSameAgeUs && sender.startUs < startUs_);
  if (!longer) return;  // theirs joins ours
  startUs_ = sender.startUs;
  clock_.jumpTo(*offset + sender.partyOffsetUs);
  sinceUs_ = clock_.partyUs(nowUs);
  if (settled_) merged_ = sender.address;
  followParty(nowUs);
}

void PartyMembers::followParty(int64_t nowUs) {
  uint64_t leader = self_;
  int64_t leaderSince = sinceUs_;
  for (const auto& [id, member] : members_) {
    const bool longer = member.sinceUs < leaderSince || (member.sinceUs == leaderSince && id < leader);
    if (longer && member.startUs == startUs_ && member.clock.size() > 0) {
      leader = id;
      leaderSince = member.sinceUs;
    }
  }
  if (leader == self_) {
    if (following_ != 0) clock_.hold(nowUs);
    following_ = 0;
    return;
  }
  const Member& m = members_.at(leader);
  const int64_t target = *m.clock.estimate(nowUs) + m.partyOffsetUs;
  if (settled_)
    clock_.glideTo(target, nowUs);  // a frame or a sample skipped would be seen or heard
  else
    clock_.jumpTo(target);
  following_ = leader;
}

PartyMessage PartyMembers::messageFor(const std::string& to, int64_t nowUs) {
  PartyMessage message;
  message.party = party_;
  message.sender = self_;
  message.sequence = ++sequence_;
  message.sentUs = nowUs;
  message.partyOffsetUs = clock_.offsetUs(nowUs);
  message.startUs = startUs_;
  message.sinceUs = sinceUs_;
  message.flags = static_cast<uint16_t>(flags_ | (settled_ ? PartyMessage::kSettled : 0));
  message.to = senderAt(to);
  int64_t theirs = 0, heardUs = 0;
  if (const auto m = members_.find(message.to); m != members_.end()) {
    theirs = m->second.lastSentUs;
    heardUs = m->second.lastHeardUs;
  } else if (const auto s = strangers_.find(message.to); s != strangers_.end()) {
    theirs = s->second.lastSentUs;
    heardUs = s->second.lastHeardUs;
  }
  if (theirs != 0 && nowUs - heardUs <= PartyMessage::kLongestHoldUs) {
    message.echoSentUs = theirs;
    message.echoHeldUs = nowUs - heardUs;
  }
  Sent& sent = sent_[to];
  sent.at[sent.next++ % kEchoesKept] = nowUs;
  sent.lastUs = nowUs;
  return message;
}

// The sender last heard at `address`: a member started again there is a stranger at first, and
// a message named for the process before would be dropped by it.
uint64_t PartyMembers::senderAt(const std::string& address) const {
  uint64_t found = 0;
  int64_t latestUs = INT64_MIN;
  const auto consider = [&](uint64_t id, const std::string& at, int64_t heardUs) {
    if (at == address && heardUs > latestUs) {
      found = id;
      latestUs = heardUs;
    }
  };
  for (const auto& [id, member] : members_) consider(id, member.address, member.lastHeardUs);
  for (const auto& [id, stranger] : strangers_) consider(id, stranger.address, stranger.lastHeardUs);
  return found;
}

size_t PartyMembers::forget(int64_t nowUs) {
  const size_t before = members_.size();
  const auto silent = [nowUs](const auto& entry) { return nowUs - entry.second.lastHeardUs > kForgetAfterUs; };
  std::erase_if(members_, silent);
  std::erase_if(strangers_, silent);
  std::erase_if(sent_, [nowUs](const auto& entry) { return nowUs - entry.second.lastUs > kForgetAfterUs; });
  if (members_.size() != before) followParty(nowUs);
  return before - members_.size();
}

int64_t PartyMembers::spreadUs(int64_t nowUs) const {
  int64_t lowest = 0, highest = 0;  // ours
  const int64_t ours = clock_.offsetUs(nowUs);
  for (const auto& [id, member] : members_) {
    const std::optional<int64_t> offset = member.clock.estimate(nowUs);
    if (!offset || member.startUs != startUs_) continue;
    const int64_t apart = *offset + member.partyOffsetUs - ours;
    lowest = std::min(lowest, apart);
    highest = std::max(highest, apart);
  }
  return highest - lowest;
}

std::optional<std::string> PartyMembers::takeMerge() {
  std::optional<std::string> merge;
  merge.swap(merged_);
  return merge;
}
