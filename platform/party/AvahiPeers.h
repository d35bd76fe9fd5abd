#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The other members of a party, as the desktop's service discovery (Avahi's mDNS/DNS-SD) finds
// them on the local network, over IPv4 and IPv6: this member is published as a
// "_disco-party._udp" service with the party's id (never its name) in its TXT record, and the
// services of the same party are looked for.
class AvahiPeers {
 public:
  using Report = std::function<void(const std::string& line)>;

  // Null, with `why`, when no Avahi daemon answers. `report` is told, on Avahi's own thread,
  // of trouble after that (the daemon gone).
  static std::unique_ptr<AvahiPeers> start(const std::string& partyId, uint16_t port, Report report,
                                           std::string& why);
  ~AvahiPeers();

  // "a.b.c.d:port" or "[v6%interface]:port" of each other member found, now.
  std::vector<std::string> addresses() const;

  struct Impl;

 private:
  explicit AvahiPeers(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};
