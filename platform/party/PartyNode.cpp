#include "platform/party/PartyNode.h"

#include <set>

#include "platform/Clock.h"

namespace {
const char* verdictText(PartyMembers::Verdict verdict) {
  switch (verdict) {
    case PartyMembers::Verdict::Replayed: return "replayed";
    case PartyMembers::Verdict::Relayed: return "relayed from another address";
    case PartyMembers::Verdict::NotForUs: return "meant for another member";
    case PartyMembers::Verdict::StartFarOff: return "claiming a start in the future";
    case PartyMembers::Verdict::TooMany: return "from one member too many";
    default: return "";
  }
}
}  // namespace

PartyClocks PartyClocks::system() { return PartyClocks{monotonicMicros, systemTimeMicros}; }

PartyNode::PartyNode(const PartyKey& key, uint64_t self, const PartyClocks& clocks, uint16_t flags, uint16_t port,
                     Send send, Say say)
    : key_(key), clocks_(clocks), port_(port), send_(std::move(send)), say_(std::move(say)),
      joinedUs_(clocks_.monotonicUs()), members_(key.id(), self, joinedUs_, clocks_.realtimeUs(), flags) {}

void PartyNode::send(const std::string& to, int64_t nowUs) { send_(to, members_.messageFor(to, nowUs).encode(key_)); }

void PartyNode::drop(const std::string& kind, const std::string& from, int64_t nowUs) {
  const std::string line = notes_.dropped(kind, from, nowUs);
  if (!line.empty()) say_(line);
}

int64_t PartyNode::tick(const std::vector<std::string>& announced) {
  const int64_t nowUs = clocks_.monotonicUs();
  if (announced.empty()) announcedSinceUs_ = 0;
  else if (announcedSinceUs_ == 0) announcedSinceUs_ = nowUs;
  if (announcedSinceUs_ != 0 && !heardAny_ && !saidUnheard_ && nowUs - announcedSinceUs_ >= kUnheardUs) {
    saidUnheard_ = true;
    say_("members are announced (" + announced.front() + ") but none has been heard in 10 s: is UDP port " +
         std::to_string(port_) + " blocked? Open it on every member (ufw allow " + std::to_string(port_) +
         "/udp, or firewall-cmd --add-port=" + std::to_string(port_) + "/udp)");
  }
  if (const std::string lines = notes_.due(nowUs); !lines.empty()) say_(lines);
  members_.follow(nowUs);
  if (nowUs < nextSendUs_) return nextSendUs_ - nowUs;

  std::set<std::string> to;
  for (const auto& [id, member] : members_.members()) to.insert(member.address);
  attempts_.announced(announced);
  for (const std::string& address : to) attempts_.answered(address);
  for (const std::string& address : attempts_.due(nowUs)) to.insert(address);
  for (const std::string& address : to) send(address, nowUs);
  nextSendUs_ = nowUs + (members_.settled() ? kSendEveryUs : kSendEarlyEveryUs);
  const size_t before = members_.size();
  if (const size_t gone = members_.forget(nowUs))
    say_(std::to_string(gone) + " member(s) gone silent (" + std::to_string(before - gone + 1) + " in all)");
  return nextSendUs_ - nowUs;
}

void PartyNode::receive(const uint8_t* data, size_t size, const std::string& from, bool local) {
  const int64_t nowUs = clocks_.monotonicUs();
  if (!local) return drop("from beyond the local network", from, nowUs);
  std::string why;
  const std::optional<PartyMessage> message = PartyMessage::decode(data, size, key_, why);
  if (!message) {
    if (!why.empty()) drop(why, from, nowUs);
    return;  // another party's, said nothing of
  }
  heardAny_ = true;
  const size_t before = members_.size();
  const PartyMembers::Verdict verdict = members_.heard(*message, from, nowUs);
  if (const std::string text = verdictText(verdict); !text.empty()) return drop(text, from, nowUs);
  if (verdict == PartyMembers::Verdict::Stranger) {
    // Answered once a message, and only where it says it knows us, or where the party is announced.
    if (message->to != 0 || attempts_.announcedAt(from)) send(from, nowUs);
    return;
  }
  if (verdict != PartyMembers::Verdict::Taken && verdict != PartyMembers::Verdict::StartedAgain) return;
  if (verdict == PartyMembers::Verdict::StartedAgain) {
    say_("the member at " + from + " started again (" + std::to_string(members_.size() + 1) + " in all)");
    send(from, nowUs);
  } else if (members_.size() != before) {
    say_("a member at " + from + " joined (" + std::to_string(members_.size() + 1) + " in all)");
    send(from, nowUs);  // at once: its start may still be open
  }
  if (const std::optional<std::string> merged = members_.takeMerge())
    say_("joined the party that had run longer (heard from " + *merged + "): its start " + localTimeText(startUs()) +
         " and its clock from now on; the picture jumps to its frame and the music lands there once");
}

void PartyNode::settle() { members_.settle(); }

double PartyNode::seconds() const {
  return static_cast<double>(members_.partyUs(clocks_.monotonicUs()) - members_.startUs()) * 1e-6;
}
