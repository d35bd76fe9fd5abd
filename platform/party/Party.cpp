#include "platform/party/Party.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/ResourceFolder.h"
#include "platform/party/AvahiPeers.h"
#include "platform/party/PartyNode.h"
#include "platform/party/PartySocket.h"

namespace {
constexpr size_t kLongestName = 200;
}  // namespace

struct Party::Impl {
  Request request;
  Report report;
  // The node, and what it has to send and say: sent and said by the party's thread once the lock
  // is let go, so that the frames and the sound, which read the party's time, never wait on the
  // network or the log.
  mutable std::mutex lock;
  std::unique_ptr<PartyNode> node;
  std::vector<std::pair<std::string, PartyMessage::Bytes>> outbox;
  std::vector<std::string> lines;
  std::unique_ptr<PartySocket> socket;
  std::unique_ptr<AvahiPeers> peers;
  std::atomic<uint64_t> sent{0}, sentBytes{0}, received{0}, receivedBytes{0};
  std::atomic<bool> stopping{false};
  std::thread thread;

  Impl(const Request& r, Report rep) : request(r), report(std::move(rep)) {}

  ~Impl() {
    stopping = true;
    if (thread.joinable()) thread.join();
  }

  void say(const std::string& line) {
    if (report) report("party " + request.name + ": " + line);
  }

  // Sends and says what the node left, the lock let go.
  void flush() {
    std::vector<std::pair<std::string, PartyMessage::Bytes>> sending;
    std::vector<std::string> saying;
    {
      std::lock_guard<std::mutex> hold(lock);
      sending.swap(outbox);
      saying.swap(lines);
    }
    for (const std::string& line : saying) say(line);
    if (!socket || !socket->ok()) return;
    for (const auto& [to, bytes] : sending) {
      if (!socket->sendTo(to, bytes.data(), bytes.size())) continue;
      ++sent;
      sentBytes += bytes.size();
    }
  }

  void run() {
    uint8_t buffer[PartyMessage::kSize];
    while (!stopping) {
      int64_t waitUs;
      {
        const std::vector<std::string> announced = peers ? peers->addresses() : std::vector<std::string>{};
        std::lock_guard<std::mutex> hold(lock);
        waitUs = node->tick(announced);
      }
      flush();
      std::string from;
      bool local = false;
      const int waitMs = static_cast<int>(std::clamp<int64_t>(waitUs / 1000, 1, 100));
      const size_t got = socket->receive(buffer, sizeof buffer, from, local, waitMs);
      if (got == 0) continue;
      ++received;
      receivedBytes += got;
      {
        std::lock_guard<std::mutex> hold(lock);
        node->receive(buffer, got, from, local);
      }
      flush();
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
  const char* guests = std::getenv("DISCO_PARTY_GUESTS");
  const bool welcomes = guests && *guests && std::string(guests) != "0";
  return Request{text, silent && *silent && std::string(silent) != "0",
                 !welcomes ? std::string() : std::string(guests) == "1" ? pageFolder() : std::string(guests)};
}

std::unique_ptr<Party> Party::join(const Request& request, Report report) {
  std::random_device entropy;
  const uint64_t self = ((uint64_t{entropy()} << 32) ^ entropy()) | 1;  // never 0: "not known"
  auto impl = std::make_unique<Impl>(request, std::move(report));
  Impl* raw = impl.get();
  const PartyKey key = PartyKey::derive(request.name);
  impl->socket = std::make_unique<PartySocket>();
  impl->node = std::make_unique<PartyNode>(
      key, self, PartyClocks::system(), request.silent ? PartyMessage::kSilent : 0, impl->socket->port(),
      [raw](const std::string& to, const PartyMessage::Bytes& bytes) { raw->outbox.emplace_back(to, bytes); },
      [raw](const std::string& line) { raw->lines.push_back(line); });
  if (!impl->socket->ok()) {
    impl->say("no network (" + impl->socket->why() + "): this disco plays alone");
    return std::unique_ptr<Party>(new Party(std::move(impl)));
  }
  if (impl->socket->port() != PartySocket::kPort)
    impl->say("UDP port " + std::to_string(PartySocket::kPort) + " is taken (another disco on this machine?): port " +
              std::to_string(impl->socket->port()) + " instead");
  std::string why;
  impl->peers = AvahiPeers::start(key.idText(), impl->socket->port(),
                                  [raw](const std::string& line) { raw->say(line); }, why);
  if (!impl->peers) impl->say("no Avahi daemon (" + why + "): no other members are found; this disco plays alone");
  impl->thread = std::thread(&Impl::run, raw);
  return std::unique_ptr<Party>(new Party(std::move(impl)));
}

Party::Party(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Party::~Party() = default;

void Party::settle(int windowMs) {
  const int64_t untilUs = impl_->node->joinedUs() + int64_t{windowMs} * 1000;
  // Alone there is no one to wait for; once the clock of a member that has settled is followed,
  // the party is had.
  while (impl_->peers && monotonicMicros() < untilUs) {
    {
      std::lock_guard<std::mutex> hold(impl_->lock);
      if (impl_->node->members().followingSettled()) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  int64_t start;
  size_t members;
  {
    std::lock_guard<std::mutex> hold(impl_->lock);
    impl_->node->settle();
    start = impl_->node->startUs();
    members = impl_->node->members().size() + 1;
  }
  impl_->say("start " + localTimeText(start) + ", seed " + std::to_string(seedOf(start)) + ", " +
             std::to_string(members) + " member(s)" + (silent() ? ", this one silent" : ""));
}

int64_t Party::startUs() const {
  std::lock_guard<std::mutex> hold(impl_->lock);
  return impl_->node->startUs();
}

double Party::seconds() const {
  std::lock_guard<std::mutex> hold(impl_->lock);
  return impl_->node->seconds();
}

bool Party::silent() const { return impl_->request.silent; }

const std::string& Party::name() const { return impl_->request.name; }

Party::State Party::state() const {
  std::lock_guard<std::mutex> hold(impl_->lock);
  const PartyMembers& members = impl_->node->members();
  return State{members.size() + 1, static_cast<double>(members.spreadUs(impl_->node->nowUs())) * 1e-6,
               members.following() == 0};
}

Party::Traffic Party::traffic() const {
  return Traffic{impl_->sent, impl_->sentBytes, impl_->received, impl_->receivedBytes};
}
