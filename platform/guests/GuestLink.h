#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Where guests' phones open the page: "http://ADDRESS:PORT/", ADDRESS this machine's IPv4 address
// on the LAN (what a phone on the same Wi-Fi reaches: the default route's, where that is on a LAN
// interface), else the machine's name.
std::string guestLink(uint16_t port);

// One IPv4 address of an interface, with what the interface is.
struct InterfaceAddress {
  std::string address;
  bool up, running, loopback, pointToPoint;
};

// Of the addresses `listed` in the system's order, the one phones on the LAN reach: `routed` (the
// default route's) where it is on a LAN interface (up, with a carrier, neither loopback nor a
// tunnel), else the first on one (not a VPN's, nor a container bridge's without containers), else
// the first of any interface that is up but loopback; "" for none.
std::string lanAddress(const std::vector<InterfaceAddress>& listed, const std::string& routed);

// `text` as a QR code for a terminal: two rows of modules a line in half blocks, light modules
// drawn in bright white on black whatever the terminal's own colours, inside a quiet zone. Empty
// when it cannot be encoded.
std::string qrCodeText(const std::string& text);
