#include "platform/party/Party.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "platform/Clock.h"
#include "platform/party/AvahiPeers.h"
#include "platform/party/PartyMembers.h"
#include "platform/party/PartySocket.h"

namespace {
constexpr size_t kLongestName = 200;           // fits a TXT record with room to spare
constexpr int64_t kSendEveryUs = 1000000;      // once settled
constexpr int64_t kSendEarlyEveryUs = 200000;  // while the start may still change
constexpr int64_t kFrameUs = 16667;            // clocks further apart show other frames

const char* verdictText(PartyMembers::Verdict verdict) {
  switch (verdict) {
    case PartyMembers::Verdict::Replayed: return "replayed";
    case PartyMembers::Verdict::Stale: return "sent at a time far from this machine's clock";
    case PartyMembers::Verdict::StartFarOff: return "claiming a start far in the past or future";
    case PartyMembers::Verdict::TooMany: return "from one member too many";
    default: return "";
  }
}
}  // namespace

struct Party::Impl {
  Request request;
  Report report;
  int64_t joinedUs = systemTimeMicros();
  std::atomic<int64_t> startUs{joinedUs};
  std::mutex lock;  // members
  PartyMembers members;
  std::unique_ptr<PartySocket> socket;
  std::unique_ptr<AvahiPeers> peers;
  std::set<std::string> said;
  std::set<uint64_t> clocksSaid;
  std::atomic<uint64_t> sent{0}, sentBytes{0}, received{0}, receivedBytes{0};
  std::atomic<bool> stopping{false};
  std::thread thread;

  Impl(const Request& r, Report rep, uint64_t self)
      : request(r), report(std::move(rep)),
        members(partyKey(r.name), self, joinedUs, r.silent ? PartyMessage::kSilent : 0) {}

  ~Impl() {
    stopping = true;
    if (thread.joinable()) thread.join();
  }

  void say(const std::string& line) {
    if (report) report("party " + request.name + ": " + line);
  }
  void sayOnce(const std::string& key, const std::string& line) {
    if (said.insert(key).second) say(line);
  }

  void sendAll(int64_t nowUs) {
    std::set<std::string> to;
    if (peers)
      for (const std::string& address : peers->addresses()) to.insert(address);
    std::lock_guard<std::mutex> hold(lock);
    for (const auto& [id, member] : members.members()) to.insert(member.address);
    for (const std::string& address : to) send(address, members.messageFor(address, nowUs));
  }

  void send(const std::string& address, const PartyMessage& message) {
    const PartyMessage::Bytes bytes = message.encode();
    if (!socket->sendTo(address, bytes.data(), bytes.size())) return;
    ++sent;
    sentBytes += bytes.size();
  }

  void take(const uint8_t* data, size_t size, const std::string& from, bool local) {
    if (!local) return sayOnce("remote", "a message from beyond the local network (" + from + ") dropped");
    std::string why;
    const std::optional<PartyMessage> message = PartyMessage::decode(data, size, why);
    if (!message) return sayOnce(why, "a message from " + from + " dropped: " + why);
    const int64_t nowUs = systemTimeMicros();
    std::lock_guard<std::mutex> hold(lock);
    const size_t before = members.size();
    const PartyMembers::Verdict verdict = members.heard(*message, from, nowUs);
    const std::string text = verdictText(verdict);
    if (!text.empty()) return sayOnce(text, "a message from " + from + " dropped: " + text);
    if (verdict != PartyMembers::Verdict::Taken) return;  // another party's, or our own
    startUs = members.startUs();
    if (members.size() != before) {
      say("a member at " + from + " joined (" + std::to_string(members.size() + 1) + " in all)");
      send(from, members.messageFor(from, nowUs));  // at once: its start may still be open
    }
    checkClock(message->sender);
  }

  // Clocks that disagree by more than a frame show different frames: said once per member.
  void checkClock(uint64_t sender) {
    const PartyMembers::Member& member = members.members().at(sender);
    if (!member.offsetUs || clocksSaid.count(sender)) return;
    const int64_t offset = *member.offsetUs, margin = member.bestRoundTripUs / 2;
    if (std::llabs(offset) - margin <= kFrameUs) return;
    clocksSaid.insert(sender);
    say("the clock at " + member.address + " is " + std::to_string(std::llabs(offset) / 1000) + " ms " +
        (offset > 0 ? "ahead of" : "behind") +
        " this machine's, so the screens show different frames: keep the clocks of the party's machines in "
        "step with a time service (chrony or systemd-timesyncd, on the same NTP server)");
  }

  void run() {
    int64_t nextSendUs = 0;
    uint8_t buffer[PartyMessage::kSize];
    while (!stopping) {
      int64_t nowUs = systemTimeMicros();
      if (nowUs >= nextSendUs) {
        sendAll(nowUs);
        std::lock_guard<std::mutex> hold(lock);
        nextSendUs = nowUs + (members.settled() ? kSendEveryUs : kSendEarlyEveryUs);
        const size_t before = members.size();
        if (members.forget(nowUs))
          say(std::to_string(before - members.size()) + " member(s) gone silent (" +
              std::to_string(members.size() + 1) + " in all)");
      }
      std::string from;
      bool local = false;
      const int waitMs = static_cast<int>(std::clamp<int64_t>((nextSendUs - nowUs) / 1000, 1, 100));
      const size_t got = socket->receive(buffer, sizeof buffer, from, local, waitMs);
      if (got == 0) continue;
      ++received;
      receivedBytes += got;
      take(buffer, got, from, local);
    }
  }
};

std::optional<Party::Request> Party::requested(std::string& why) {
  const char* name = std::getenv("DISCO_PARTY");
  if (!name || !*name) return std::nullopt;
  const std::string text = name;
  if (text.size() > kLongestName) {
    why = "the party's name is longer than " + std::to_string(kLongestName) + " bytes";
    return std::nullopt;
  }
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f) {
      why = "the party's name has control characters";
      return std::nullopt;
    }
  const char* silent = std::getenv("DISCO_PARTY_SILENT");
  return Request{text, silent && *silent && std::string(silent) != "0"};
}

std::unique_ptr<Party> Party::join(const Request& request, Report report) {
  std::random_device entropy;
  const uint64_t self = (uint64_t{entropy()} << 32) ^ entropy();
  auto impl = std::make_unique<Impl>(request, std::move(report), self);
  impl->socket = std::make_unique<PartySocket>();
  if (!impl->socket->ok()) {
    impl->say("no network (" + impl->socket->why() + "): this disco plays alone");
    return std::unique_ptr<Party>(new Party(std::move(impl)));
  }
  std::string why;
  Impl* raw = impl.get();
  impl->peers = AvahiPeers::start(request.name, impl->socket->port(),
                                  [raw](const std::string& line) { raw->say(line); }, why);
  if (!impl->peers) impl->say("no Avahi daemon (" + why + "): no other members are found; this disco plays alone");
  impl->thread = std::thread(&Impl::run, raw);
  return std::unique_ptr<Party>(new Party(std::move(impl)));
}

Party::Party(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Party::~Party() = default;

void Party::settle(int windowMs) {
  const int64_t untilUs = impl_->joinedUs + int64_t{windowMs} * 1000;
  const int64_t nowUs = systemTimeMicros();
  if (untilUs > nowUs && impl_->peers)  // alone, there is no one to wait for
    std::this_thread::sleep_for(std::chrono::microseconds(untilUs - nowUs));
  std::lock_guard<std::mutex> hold(impl_->lock);
  impl_->members.settle();
  impl_->startUs = impl_->members.startUs();
  impl_->say("start " + localTimeText(startUs()) + ", seed " + std::to_string(seed()) + ", " +
             std::to_string(impl_->members.size() + 1) + " member(s)" + (silent() ? ", this one silent" : ""));
}

int64_t Party::startUs() const { return impl_->startUs; }

unsigned Party::seed() const {
  const uint64_t start = static_cast<uint64_t>(startUs());
  return static_cast<unsigned>(start ^ (start >> 32));
}

double Party::seconds() const { return static_cast<double>(systemTimeMicros() - startUs()) * 1e-6; }

bool Party::silent() const { return impl_->request.silent; }

Party::Traffic Party::traffic() const {
  return Traffic{impl_->sent, impl_->sentBytes, impl_->received, impl_->receivedBytes};
}
