#include "platform/guests/GuestAnnouncement.h"

#include <functional>

#include "platform/party/AvahiConnection.h"
#include "platform/party/AvahiPublication.h"

struct GuestAnnouncement::Impl {
  AvahiPublication page;
  std::unique_ptr<AvahiConnection> avahi;  // last: its thread stops before the page goes

  Impl(uint16_t port, const std::string& path, const Report& report)
      : page({AvahiPublication::onThisHost("disco party"), "_http._tcp", port, {"path=" + path}},
             "the guests' page", report) {}
};

std::unique_ptr<GuestAnnouncement> GuestAnnouncement::start(uint16_t port, const std::string& path, Report report,
                                                            std::string& why) {
  auto impl = std::make_unique<Impl>(port, path, report);
  impl->avahi = AvahiConnection::start(std::bind_front(&AvahiPublication::follow, &impl->page),
                                       "the guests' page is no longer published", std::move(report), why);
  if (!impl->avahi) return nullptr;
  return std::unique_ptr<GuestAnnouncement>(new GuestAnnouncement(std::move(impl)));
}

GuestAnnouncement::GuestAnnouncement(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
GuestAnnouncement::~GuestAnnouncement() = default;
