#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/window/MonitorLayout.h"
#include "platform/window/PrimaryOutput.h"

// A Wayland connection of the demo's own, served by a thread of its own, for what must never
// hold up a frame while the compositor is slow to answer (as it is while it reconfigures its
// monitors): the black covers, and KDE's order of the outputs. SDL, which knows nothing of it,
// never minimizes its surface for a cover coming onto its monitor.
namespace platform::takeover {

class PrivateConnection {
 public:
  // Null, said once, where there is no connection.
  static std::unique_ptr<PrivateConnection> connect();
  ~PrivateConnection();
  PrivateConnection(const PrivateConnection&) = delete;
  PrivateConnection& operator=(const PrivateConnection&) = delete;

  // A black cover full screen on each output whose corner is one of `areas`', and on no other.
  // A key pressed while a cover has the keyboard reaches the demo as a key press; a click on one
  // reaches nothing.
  void cover(const std::vector<ScreenArea>& areas);

  // KDE's primary: the first output of kde_output_order_v1. Null where the compositor keeps no
  // such order. Reading it never waits.
  std::unique_ptr<PrimaryWatch> watchOutputOrder();

  class Client;

 private:
  explicit PrivateConnection(std::unique_ptr<Client> client);
  std::unique_ptr<Client> client_;
};

}  // namespace platform::takeover
