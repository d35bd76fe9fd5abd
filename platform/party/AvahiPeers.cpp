#include "platform/party/AvahiPeers.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>
#include <unistd.h>

#include <map>
#include <mutex>

namespace {
constexpr const char* kServiceType = "_disco-party._udp";
constexpr const char* kIdKey = "id";  // the party's id (PartyKey::idText), never its name
constexpr size_t kMostServices = 64;  // kept or being resolved: anyone can announce services
constexpr size_t kLongestServiceName = 63;  // one DNS label

std::string serviceName() {
  char host[64] = "";
  gethostname(host, sizeof host - 1);
  std::string name = "disco " + std::to_string(getpid()) + " on " + host;
  return name.substr(0, kLongestServiceName);
}
}  // namespace

struct AvahiPeers::Impl {
  std::string partyId;
  uint16_t port = 0;
  Report report;
  AvahiThreadedPoll* poll = nullptr;
  AvahiClient* client = nullptr;
  AvahiEntryGroup* group = nullptr;
  AvahiServiceBrowser* browser = nullptr;
  char* name = nullptr;  // our service's, avahi_malloc'ed (a collision changes it)

  mutable std::mutex lock;
  std::map<std::string, std::string> found;  // service (interface, protocol, name) -> address
  size_t resolving = 0;                       // Avahi's thread's
  bool saidTooMany = false;

  ~Impl() {
    if (poll) avahi_threaded_poll_stop(poll);
    if (client) avahi_client_free(client);  // frees the group and the browser too
    if (poll) avahi_threaded_poll_free(poll);
    avahi_free(name);
  }

  void say(const std::string& line) {
    if (report) report(line);
  }

  void publish(AvahiClient* c) {
    if (!group) group = avahi_entry_group_new(c, &Impl::groupChanged, this);
    if (!group) return say(std::string("cannot publish the party: ") + avahi_strerror(avahi_client_errno(c)));
    const std::string txt = std::string(kIdKey) + "=" + partyId;
    const int error = avahi_entry_group_add_service(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0),
                                                    name, kServiceType, nullptr, nullptr, port, txt.c_str(),
                                                    "v=2", nullptr);
    if (error == AVAHI_ERR_COLLISION) return rename();
    if (error < 0 || avahi_entry_group_commit(group) < 0)
      say(std::string("cannot publish the party: ") + avahi_strerror(error < 0 ? error : avahi_client_errno(c)));
  }

  void rename() {
    char* other = avahi_alternative_service_name(name);
    avahi_free(name);
    name = other;
    avahi_entry_group_reset(group);
    publish(client);
  }

  void browse(AvahiClient* c) {
    if (browser) return;
    browser = avahi_service_browser_new(c, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, kServiceType, nullptr,
                                        AvahiLookupFlags(0), &Impl::browsed, this);
    if (!browser) say(std::string("cannot look for the party: ") + avahi_strerror(avahi_client_errno(c)));
  }

  static void clientChanged(AvahiClient* c, AvahiClientState state, void* user) {
    auto* self = static_cast<Impl*>(user);
    if (state == AVAHI_CLIENT_S_RUNNING) {
      self->publish(c);
      self->browse(c);
    } else if (state == AVAHI_CLIENT_S_COLLISION || state == AVAHI_CLIENT_S_REGISTERING) {
      if (self->group) avahi_entry_group_reset(self->group);
    } else if (state == AVAHI_CLIENT_FAILURE) {
      self->say(std::string("the Avahi daemon went away (") + avahi_strerror(avahi_client_errno(c)) +
                "): no new members are found");
    }
  }

  static void groupChanged(AvahiEntryGroup*, AvahiEntryGroupState state, void* user) {
    if (state == AVAHI_ENTRY_GROUP_COLLISION) static_cast<Impl*>(user)->rename();
  }

  static std::string key(AvahiIfIndex interface, AvahiProtocol protocol, const char* name) {
    return std::to_string(interface) + "/" + std::to_string(protocol) + "/" + name;
  }

  static void browsed(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event,
                      const char* name, const char* type, const char* domain, AvahiLookupResultFlags, void* user) {
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
      if (avahi_service_resolver_new(self->client, interface, protocol, name, type, domain, protocol,
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
  auto impl = std::make_unique<Impl>();
  impl->partyId = partyId;
  impl->port = port;
  impl->report = std::move(report);
  impl->name = avahi_strdup(serviceName().c_str());
  impl->poll = avahi_threaded_poll_new();
  if (!impl->poll) {
    why = "no memory for Avahi";
    return nullptr;
  }
  int error = 0;
  // Made before the poll runs: its first callback (publish and browse) comes on this thread.
  impl->client = avahi_client_new(avahi_threaded_poll_get(impl->poll), AvahiClientFlags(0), &Impl::clientChanged,
                                  impl.get(), &error);
  if (!impl->client) {
    why = avahi_strerror(error);
    return nullptr;
  }
  if (avahi_threaded_poll_start(impl->poll) < 0) {
    why = "cannot start Avahi's thread";
    return nullptr;
  }
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
