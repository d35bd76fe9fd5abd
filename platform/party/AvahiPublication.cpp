#include "platform/party/AvahiPublication.h"

#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <unistd.h>

namespace {
constexpr size_t kLongestServiceName = 63;  // one DNS label
}

AvahiPublication::AvahiPublication(Service service, std::string what, Report report)
    : service_(std::move(service)), what_(std::move(what)), report_(std::move(report)),
      name_(avahi_strdup(service_.name.substr(0, kLongestServiceName).c_str())) {}

AvahiPublication::~AvahiPublication() { avahi_free(name_); }

std::string AvahiPublication::onThisHost(const std::string& what) {
  char host[64] = "";
  gethostname(host, sizeof host - 1);
  return what + " on " + host;
}

void AvahiPublication::follow(AvahiClient* client, AvahiClientState state) {
  client_ = client;
  if (state == AVAHI_CLIENT_S_RUNNING) {
    publish();
  } else if (state == AVAHI_CLIENT_S_COLLISION || state == AVAHI_CLIENT_S_REGISTERING) {
    if (group_) avahi_entry_group_reset(group_);
  }
}

void AvahiPublication::publish() {
  if (!group_) group_ = avahi_entry_group_new(client_, &AvahiPublication::groupChanged, this);
  if (!group_) return say("cannot publish " + what_ + ": " + avahi_strerror(avahi_client_errno(client_)));
  AvahiStringList* txt = nullptr;  // in the order avahi_entry_group_add_service's arguments make it
  for (const std::string& entry : service_.txt) txt = avahi_string_list_add(txt, entry.c_str());
  const int error = avahi_entry_group_add_service_strlst(group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                                         AvahiPublishFlags(0), name_, service_.type.c_str(),
                                                         nullptr, nullptr, service_.port, txt);
  avahi_string_list_free(txt);
  if (error == AVAHI_ERR_COLLISION) return rename();
  if (error < 0 || avahi_entry_group_commit(group_) < 0)
    say("cannot publish " + what_ + ": " + avahi_strerror(error < 0 ? error : avahi_client_errno(client_)));
}

void AvahiPublication::rename() {
  char* other = avahi_alternative_service_name(name_);
  avahi_free(name_);
  name_ = other;
  avahi_entry_group_reset(group_);
  publish();
}

void AvahiPublication::groupChanged(AvahiEntryGroup*, AvahiEntryGroupState state, void* user) {
  if (state == AVAHI_ENTRY_GROUP_COLLISION) static_cast<AvahiPublication*>(user)->rename();
}

void AvahiPublication::say(const std::string& line) {
  if (report_) report_(line);
}
