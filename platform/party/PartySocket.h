#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The party's UDP socket (IPv4, a port of the system's choosing). What it sends goes no further
// than the local network (one hop); what comes from beyond a network this machine is on
// itself is not taken.
class PartySocket {
 public:
  // Check ok() after: `why` then says what failed.
  PartySocket();
  ~PartySocket();
  PartySocket(const PartySocket&) = delete;
  PartySocket& operator=(const PartySocket&) = delete;

  bool ok() const { return fd_ >= 0; }
  const std::string& why() const { return why_; }
  uint16_t port() const { return port_; }

  // "a.b.c.d:port".
  bool sendTo(const std::string& address, const uint8_t* data, size_t size);
  // Waits up to `timeoutMs` for a datagram. Its size (0 for none), the sender in `from`, and
  // whether it came from the local network in `local`. Longer datagrams are cut at `capacity`
  // and reported as capacity + 1, so they read as oversized.
  size_t receive(uint8_t* data, size_t capacity, std::string& from, bool& local, int timeoutMs);

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  std::string why_;
};

// Whether an IPv4 address (network order) is this machine's loopback or on a network one of its
// interfaces is on.
bool onLocalNetwork(uint32_t address);
