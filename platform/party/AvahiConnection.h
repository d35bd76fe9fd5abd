#pragma once

#include <avahi-client/client.h>

#include <functional>
#include <memory>
#include <string>

struct AvahiThreadedPoll;

// A client of the desktop's Avahi daemon on a thread of its own. Everything made on the client
// (entry groups, browsers, resolvers) calls back on that thread, but for the client's first state,
// which comes on the caller's, within start().
class AvahiConnection {
 public:
  using Report = std::function<void(const std::string& line)>;
  using StateChanged = std::function<void(AvahiClient* client, AvahiClientState state)>;

  // Null, with `why`, when no Avahi daemon answers. `changed` hears every state but the daemon's
  // going away, which `report` is told of with what it costs (`lost`).
  static std::unique_ptr<AvahiConnection> start(StateChanged changed, std::string lost, Report report,
                                                std::string& why);
  // Stops the thread first: no callback runs once this returns, and all made on the client is freed.
  ~AvahiConnection();

  AvahiConnection(const AvahiConnection&) = delete;
  AvahiConnection& operator=(const AvahiConnection&) = delete;

 private:
  AvahiConnection(StateChanged changed, std::string lost, Report report);
  static void clientChanged(AvahiClient* client, AvahiClientState state, void* user);

  StateChanged changed_;
  std::string lost_;
  Report report_;
  AvahiThreadedPoll* poll_ = nullptr;
  AvahiClient* client_ = nullptr;
};
