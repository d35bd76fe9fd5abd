#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <vector>

#include "platform/window/MonitorLayout.h"

namespace platform::takeover {

// The monitors as RandR lists them now (what `xrandr --listmonitors` prints), the primary marked.
// Nothing when the server's RandR is older than 1.5, which has no monitor list. Unlike SDL's
// display list it is read afresh on every call, so modes added after start-up are in it too.
std::optional<std::vector<Monitor>> randrMonitors(Display* display);

}  // namespace platform::takeover
