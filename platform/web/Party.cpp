#include "platform/party/Party.h"

#include "platform/web/Page.h"

// A page has no local network to hold a party on. Opened from a party member's link, it is the
// party's guest: it follows the clock the page measures over the member's socket (guest.js), and
// can never move the party. Opened any other way, it plays alone.
struct Party::Impl {};

std::optional<Party::Request> Party::requested(std::string&) {
  if (!disco_party_joined()) return std::nullopt;
  return Request{"guest", false};
}
std::unique_ptr<Party> Party::join(const Request&, Report) {
  return std::unique_ptr<Party>(new Party(std::make_unique<Impl>()));
}
Party::Party(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Party::~Party() = default;
void Party::settle(int) {}  // the page offers to start once the clock is measured
int64_t Party::startUs() const { return static_cast<int64_t>(disco_party_start_us()); }
const std::string& Party::name() const {
  static const std::string guest = "guest";
  return guest;
}
Party::State Party::state() const { return {1, 0.0, false}; }
double Party::seconds() const { return disco_party_seconds(); }
bool Party::silent() const { return false; }
Party::Traffic Party::traffic() const { return {}; }
