#include "platform/party/AvahiPeers.h"

#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <mutex>

#include "platform/party/AvahiConnection.h"
#include "platform/party/AvahiPublication.h"

namespace {
constexpr const char* kServiceType = "_disco-party._udp";
constexpr const char* kIdKey = "id";  // the party's id (PartyKey::idText), never its name
constexpr size_t kMostServices = 64;  // kept or being resolved: anyone can announce services
}  // namespace

struct AvahiPeers::Impl {
  std::string partyId;
  Report report;
  AvahiPublication publication;
  AvahiServiceBrowser* browser = nullptr;  // the client's: freed with it

  mutable std::mutex lock;
  std::map<std::string, std::string> found;  // service (interface, protocol, name) -> address
  size_t resolving = 0;                       // Avahi's thread's
  bool saidTooMany = false;

  std::unique_ptr<AvahiConnection> avahi;  // last: its thread stops before what it calls back goes

  Impl(const std::string& id, uint16_t port, const Report& report)
      : partyId(id), report(report),
        publication({AvahiPublication::onThisHost("disco " + std::to_string(getpid())), kServiceType, port,
                     {std::string(kIdKey) + "=" + id, "v=2"}},
                    "the party", report) {}

  void say(const std::string& line) {
    if (report) report(line);
  }

  void browse(AvahiClient* c) {
    if (browser) return;
    browser = avahi_service_browser_new(c, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, kServiceType, nullptr,
                                        AvahiLookupFlags(0), &Impl::browsed, this);
    if (!browser) say(std::string("cannot look for the party: ") + avahi_strerror(avahi_client_errno(c)));
  }

  void clientChanged(AvahiClient* c, AvahiClientState state) {
    publication.follow(c, state);
    if (state == AVAHI_CLIENT_S_RUNNING) browse(c);
  }

  static std::string key(AvahiIfIndex interface, AvahiProtocol protocol, const char* name) {
    return std::to_string(interface) + "/" + std::to_string(protocol) + "/" + name;
  }

  static void browsed(AvahiServiceBrowser* browser, AvahiIfIndex interface, AvahiProtocol protocol,
                      AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
                      AvahiLookupResultFlags, void* user) {
    auto* self = static_cast<Impl*>(user);
    if (event == AVAHI_BROWSER_NEW) {
      {
        std::lock_guard<std::mutex> hold(self->lock);
        if (self->found.size() + self->resolving >= kMostServices) {
          if (!self->saidTooMany) self->say("more than " + std::to_string(kMostServices) + " party services announced: the rest are not looked at");
          self->saidTooMany = true;
          return;
        }
      }
      // The resolver frees itself in resolved(); one that cannot start is one service fewer.
      AvahiClient* client = avahi_service_browser_get_client(browser);
      if (avahi_service_resolver_new(client, interface, protocol, name, type, domain, protocol,
                                     AvahiLookupFlags(0), &Impl::resolved, self))
        ++self->resolving;
    } else if (event == AVAHI_BROWSER_REMOVE) {
      std::lock_guard<std::mutex> hold(self->lock);
      self->found.erase(key(interface, protocol, name));
    }
  }

  static void resolved(AvahiServiceResolver* resolver, AvahiIfIndex interface, AvahiProtocol protocol, AvahiResolverEvent event,
                       const char* name, const char*, const char*, const char*, const AvahiAddress* address,
                       uint16_t port, AvahiStringList* txt, AvahiLookupResultFlags flags, void* user) {
    auto* self = static_cast<Impl*>(user);
    --self->resolving;
    if (event == AVAHI_RESOLVER_FOUND && !(flags & AVAHI_LOOKUP_RESULT_OUR_OWN) && self->samePartyIn(txt)) {
      char text[AVAHI_ADDRESS_STR_MAX] = "";
      avahi_address_snprint(text, sizeof text, address);
      std::string where = text;
      if (address->proto == AVAHI_PROTO_INET6) {  // link-local ones need their interface
        if (where.rfind("fe80:", 0) == 0) (where += '%') += std::to_string(interface);
        where.insert(where.begin(), '[');
        where += ']';
      }
      std::lock_guard<std::mutex> hold(self->lock);
      self->found[key(interface, protocol, name)] = where + ":" + std::to_string(port);
    }
    avahi_service_resolver_free(resolver);
  }

  bool samePartyIn(AvahiStringList* txt) const {
    AvahiStringList* entry = avahi_string_list_find(txt, kIdKey);
    char* value = nullptr;
    if (!entry || avahi_string_list_get_pair(entry, nullptr, &value, nullptr) < 0) return false;
    const bool same = value && partyId == value;
    avahi_free(value);
    return same;
  }
};

std::unique_ptr<AvahiPeers> AvahiPeers::start(const std::string& partyId, uint16_t port, Report report,
                                              std::string& why) {
  auto impl = std::make_unique<Impl>(partyId, port, report);
  impl->avahi = AvahiConnection::start(std::bind_front(&Impl::clientChanged, impl.get()),
                                       "no new members are found", std::move(report), why);
  if (!impl->avahi) return nullptr;
  return std::unique_ptr<AvahiPeers>(new AvahiPeers(std::move(impl)));
}

AvahiPeers::AvahiPeers(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
AvahiPeers::~AvahiPeers() = default;

std::vector<std::string> AvahiPeers::addresses() const {
  std::lock_guard<std::mutex> hold(impl_->lock);
  // A service on both IPv4 and IPv6: its IPv4 address alone, so that it is sent one message.
  std::map<std::string, std::string> chosen;  // interface and name -> address
  for (const auto& [service, address] : impl_->found) {
    const size_t first = service.find('/'), second = service.find('/', first + 1);
    const std::string where = service.substr(0, first) + service.substr(second);
    auto [at, fresh] = chosen.try_emplace(where, address);
    if (!fresh && at->second[0] == '[' && address[0] != '[') at->second = address;
  }
  std::vector<std::string> all;
  for (const auto& [service, address] : chosen) all.push_back(address);
  return all;
}
