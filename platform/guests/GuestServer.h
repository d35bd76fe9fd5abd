#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/guests/GuestClock.h"

// Welcomes guests' phones at a party: serves the web page's built files over HTTP and, on one
// WebSocket (/party-clock), the party's clock, so that a phone's page plays in step with the
// party. Guests read; nothing they send reaches the party. Only the local network is served,
// and the party's name is never shown nor sent. Runs on a thread of its own.
class GuestServer {
 public:
  using Clock = GuestClock;
  // Called on the server's thread, for each guest's question: it must be safe from there.
  using ReadClock = std::function<Clock()>;
  // Called from the starting thread and the server's.
  using Report = std::function<void(const std::string& line)>;

  static constexpr uint16_t kPort = 45618;
  static constexpr const char* kClockPath = "/party-clock";

  struct Options {
    std::string folder;       // the page as platform/web/build.sh built it
    uint16_t port = kPort;    // another when it is taken; 0: any
    bool publish = true;      // through Avahi
    bool showCode = true;     // the link as a QR code on stderr, when that is a terminal
    bool loopbackOnly = false;  // 127.0.0.1 alone, e.g. for tests
  };

  // Null, said through `report`, when it cannot serve.
  static std::unique_ptr<GuestServer> start(const Options& options, ReadClock readClock, Report report);
  ~GuestServer();

  uint16_t port() const;
  // Where a guest opens the page to join: "http://ADDRESS:PORT/?party".
  std::string link() const;

  struct Impl;

 private:
  explicit GuestServer(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};
