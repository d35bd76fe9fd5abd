#pragma once

#include <cstddef>
#include <functional>
#include <set>
#include <string>

#include "platform/guests/GuestClock.h"

typedef struct _SoupWebsocketConnection SoupWebsocketConnection;

// The guests' WebSockets on the party's clock, on the server's thread. Each may only ask the
// time: 8-byte binary messages, at most kMostPerSecond a second sustained. Anything else closes
// its socket. Nothing a guest sends goes further than the answer.
class ClockGuests {
 public:
  using ReadClock = std::function<GuestClock()>;
  static constexpr size_t kMost = 64;
  static constexpr double kMostPerSecond = 30;

  explicit ClockGuests(ReadClock readClock) : readClock_(std::move(readClock)) {}
  ~ClockGuests() { closeAll(); }

  // Whether another guest may come: its handshake holds a place (`reserve`, until `release`),
  // so that handshakes under way cannot take the guests past kMost.
  bool reserve();
  void release() { --reserved_; }
  // A guest whose handshake is done.
  void adopt(SoupWebsocketConnection* connection);
  void closeAll();
  size_t count() const { return guests_.size(); }

 private:
  struct Guest;
  static void received(SoupWebsocketConnection* connection, int type, struct _GBytes* message, Guest* guest);
  static void closed(SoupWebsocketConnection* connection, Guest* guest);

  ReadClock readClock_;
  std::set<Guest*> guests_;
  size_t reserved_ = 0;
};
