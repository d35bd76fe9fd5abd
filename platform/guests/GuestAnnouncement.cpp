#include "platform/guests/GuestAnnouncement.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>
#include <unistd.h>

namespace {
constexpr size_t kLongestServiceName = 63;  // one DNS label
}

struct GuestAnnouncement::Impl {
  uint16_t port = 0;
  std::string txt;  // path=...
  Report report;
  AvahiThreadedPoll* poll = nullptr;
  AvahiClient* client = nullptr;
  AvahiEntryGroup* group = nullptr;
  char* name = nullptr;  // avahi_malloc'ed: a collision changes it

  ~Impl() {
    if (poll) avahi_threaded_poll_stop(poll);
    if (client) avahi_client_free(client);  // and the group
    if (poll) avahi_threaded_poll_free(poll);
    avahi_free(name);
  }

  void say(const std::string& line) {
    if (report) report(line);
  }

  void publish(AvahiClient* c) {
    if (!group) group = avahi_entry_group_new(c, &Impl::groupChanged, this);
    if (!group) return say(std::string("cannot publish the guests' page: ") + avahi_strerror(avahi_client_errno(c)));
    const int error = avahi_entry_group_add_service(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0),
                                                    name, "_http._tcp", nullptr, nullptr, port, txt.c_str(), nullptr);
    if (error == AVAHI_ERR_COLLISION) return rename();
    if (error < 0 || avahi_entry_group_commit(group) < 0)
      say(std::string("cannot publish the guests' page: ") + avahi_strerror(error < 0 ? error : avahi_client_errno(c)));
  }

  void rename() {
    char* other = avahi_alternative_service_name(name);
    avahi_free(name);
    name = other;
    avahi_entry_group_reset(group);
    publish(client);
  }

  static void clientChanged(AvahiClient* c, AvahiClientState state, void* user) {
    auto* self = static_cast<Impl*>(user);
    if (state == AVAHI_CLIENT_S_RUNNING) {
      self->publish(c);
    } else if (state == AVAHI_CLIENT_S_COLLISION || state == AVAHI_CLIENT_S_REGISTERING) {
      if (self->group) avahi_entry_group_reset(self->group);
    } else if (state == AVAHI_CLIENT_FAILURE) {
      self->say(std::string("the Avahi daemon went away (") + avahi_strerror(avahi_client_errno(c)) +
                "): the guests' page is no longer published");
    }
  }

  static void groupChanged(AvahiEntryGroup*, AvahiEntryGroupState state, void* user) {
    if (state == AVAHI_ENTRY_GROUP_COLLISION) static_cast<Impl*>(user)->rename();
  }
};

std::unique_ptr<GuestAnnouncement> GuestAnnouncement::start(uint16_t port, const std::string& path, Report report,
                                                            std::string& why) {
  auto impl = std::make_unique<Impl>();
  impl->port = port;
  impl->txt = "path=" + path;
  impl->report = std::move(report);
  char host[64] = "";
  gethostname(host, sizeof host - 1);
  impl->name = avahi_strdup(("disco party on " + std::string(host)).substr(0, kLongestServiceName).c_str());
  impl->poll = avahi_threaded_poll_new();
  if (!impl->poll) {
    why = "no memory for Avahi";
    return nullptr;
  }
  int error = 0;
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
  return std::unique_ptr<GuestAnnouncement>(new GuestAnnouncement(std::move(impl)));
}

GuestAnnouncement::GuestAnnouncement(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
GuestAnnouncement::~GuestAnnouncement() = default;
