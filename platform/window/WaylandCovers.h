#pragma once

#include <memory>
#include <vector>

#include "platform/window/MonitorLayout.h"

namespace platform::takeover {

// The black covers on Wayland itself: toplevels of a connection of the demo's own, each full
// screen on its output, served by a thread of their own. The compositor's answers to making,
// moving or ending them, slow while it reconfigures its monitors, never hold up a frame; and
// SDL, which knows nothing of them, never minimizes its surface for one of them coming onto its
// monitor. A key pressed while a cover has the keyboard reaches the demo as a key press.
class WaylandCovers {
 public:
  // Null, said once, where there is no connection or the compositor lacks what covers need.
  static std::unique_ptr<WaylandCovers> connect();
  ~WaylandCovers();
  WaylandCovers(const WaylandCovers&) = delete;
  WaylandCovers& operator=(const WaylandCovers&) = delete;

  // A cover on each output whose corner is one of `areas`', and on no other.
  void cover(const std::vector<ScreenArea>& areas);

  class Client;

 private:
  explicit WaylandCovers(std::unique_ptr<Client> client);
  std::unique_ptr<Client> client_;
};

}  // namespace platform::takeover
