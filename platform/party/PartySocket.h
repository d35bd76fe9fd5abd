#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct sockaddr_storage;

// The party's UDP socket: IPv6 and IPv4 both (IPv4 alone where the machine has no IPv6), on
// the party's port, kPort, so that a firewall rule can name it (another port of the system's
// choosing when a disco on this machine already has it). What it sends goes no further than the
// local network (one hop); what comes from beyond a network this machine is on is not taken.
class PartySocket {
 public:
  static constexpr uint16_t kPort = 45617;

  // Check ok() after: `why` then says what failed. `port` 0: any.
  explicit PartySocket(uint16_t port = kPort);
  ~PartySocket();
  PartySocket(const PartySocket&) = delete;
  PartySocket& operator=(const PartySocket&) = delete;

  bool ok() const { return fd_ >= 0; }
  const std::string& why() const { return why_; }
  uint16_t port() const { return port_; }

  // "a.b.c.d:port" or "[v6%interface]:port".
  bool sendTo(const std::string& address, const uint8_t* data, size_t size);
  // Waits up to `timeoutMs` for a datagram. Its size (0 for none), the sender in `from`, and
  // whether it came from the local network in `local`. Longer datagrams are cut at `capacity`
  // and reported as capacity + 1, so they read as oversized.
  size_t receive(uint8_t* data, size_t capacity, std::string& from, bool& local, int timeoutMs);

 private:
  int fd_ = -1;
  int family_ = 0;
  uint16_t port_ = 0;
  std::string why_;
};

// An address as the party writes it, and back; false for anything else.
std::string addressText(const sockaddr_storage& address);
bool parseAddress(const std::string& text, sockaddr_storage& address);
// Whether an address is this machine's loopback, IPv6 link-local, or on a network one of its
// interfaces is on.
bool onLocalNetwork(const sockaddr_storage& address);
