#pragma once

#include <cstdint>
#include <string>

// Where guests' phones open the page: "http://ADDRESS:PORT/", ADDRESS the first IPv4 address of
// an interface that is up and not loopback (what a phone on the same Wi-Fi reaches), else the
// machine's name.
std::string guestLink(uint16_t port);

// `text` as a QR code for a terminal: two rows of modules a line in half blocks, light modules
// drawn in bright white on black whatever the terminal's own colours, inside a quiet zone. Empty
// when it cannot be encoded.
std::string qrCodeText(const std::string& text);
