#pragma once

#include <string>

namespace guests {
// Whether a numeric address ("192.168.1.20", "fe80::1", "::ffff:10.0.0.2") can only be on a
// local network: loopback, RFC 1918, link-local, IPv6 unique-local, or carrier-grade NAT.
// IPv4 mapped into IPv6 counts as the IPv4 address. Anything else, or not an address: false.
// Unlike the party's check, it does not ask the interfaces: a guest's phone is usually behind
// the same router, and the answer must not change while the network does.
bool onLocalNetwork(const std::string& address);
}  // namespace guests
