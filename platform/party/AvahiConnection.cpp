#include "platform/party/AvahiConnection.h"

#include <avahi-common/error.h>
#include <avahi-common/thread-watch.h>

AvahiConnection::AvahiConnection(StateChanged changed, std::string lost, Report report)
    : changed_(std::move(changed)), lost_(std::move(lost)), report_(std::move(report)) {}

AvahiConnection::~AvahiConnection() {
  if (poll_) avahi_threaded_poll_stop(poll_);
  if (client_) avahi_client_free(client_);  // and its entry groups, browsers and resolvers
  if (poll_) avahi_threaded_poll_free(poll_);
}

std::unique_ptr<AvahiConnection> AvahiConnection::start(StateChanged changed, std::string lost, Report report,
                                                        std::string& why) {
  std::unique_ptr<AvahiConnection> avahi(new AvahiConnection(std::move(changed), std::move(lost), std::move(report)));
  avahi->poll_ = avahi_threaded_poll_new();
  if (!avahi->poll_) {
    why = "no memory for Avahi";
    return nullptr;
  }
  int error = 0;
  // Made before the poll runs: its first callback comes on this thread.
  avahi->client_ = avahi_client_new(avahi_threaded_poll_get(avahi->poll_), AvahiClientFlags(0),
                                    &AvahiConnection::clientChanged, avahi.get(), &error);
  if (!avahi->client_) {
    why = avahi_strerror(error);
    return nullptr;
  }
  if (avahi_threaded_poll_start(avahi->poll_) < 0) {
    why = "cannot start Avahi's thread";
    return nullptr;
  }
  return avahi;
}

void AvahiConnection::clientChanged(AvahiClient* client, AvahiClientState state, void* user) {
  auto* self = static_cast<AvahiConnection*>(user);
  if (state != AVAHI_CLIENT_FAILURE) return self->changed_(client, state);
  if (self->report_)
    self->report_(std::string("the Avahi daemon went away (") + avahi_strerror(avahi_client_errno(client)) +
                  "): " + self->lost_);
}
