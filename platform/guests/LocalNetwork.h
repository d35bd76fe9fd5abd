#pragma once

#include <string>

namespace guests {
// Whether a numeric address ("192.168.1.20", "fe80::1", "::ffff:10.0.0.2") can only be on a
// local network: loopback, RFC 1918, link-local, IPv6 unique-local, or carrier-grade NAT.
// IPv4 mapped into IPv6 counts as the IPv4 address. Anything else, or not an address: false.
// The guests' server takes these, and what the party's check takes (a network one of this
// machine's interfaces is on), so that a guest on another private subnet behind the same router
// is welcome too.
bool onLocalNetwork(const std::string& address);
}  // namespace guests
