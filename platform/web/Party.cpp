#include "platform/party/Party.h"

// A page has no local network to hold a party on: it always plays alone.
struct Party::Impl {};

std::optional<Party::Request> Party::requested(std::string&) { return std::nullopt; }
std::unique_ptr<Party> Party::join(const Request&, Report) { return nullptr; }
Party::Party(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Party::~Party() = default;
void Party::settle(int) {}
int64_t Party::startUs() const { return 0; }
unsigned Party::seedOf(int64_t) { return 0; }
const std::string& Party::name() const {
  static const std::string none;
  return none;
}
Party::State Party::state() const { return {}; }
double Party::seconds() const { return 0.0; }
bool Party::silent() const { return true; }
Party::Traffic Party::traffic() const { return {}; }
