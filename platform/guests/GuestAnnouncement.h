#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The guests' page published through Avahi as "_http._tcp", named "disco party on HOST", its
// path in the TXT record, so that phones and browsers that look for web servers nearby list it. The party's name is never
// in it: the party's key is derived from it.
class GuestAnnouncement {
 public:
  using Report = std::function<void(const std::string& line)>;
  // Null, with `why`, without Avahi.
  static std::unique_ptr<GuestAnnouncement> start(uint16_t port, const std::string& path, Report report,
                                                   std::string& why);
  ~GuestAnnouncement();

  struct Impl;

 private:
  explicit GuestAnnouncement(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};
