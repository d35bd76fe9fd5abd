#include "platform/window/x11/RandrMonitors.h"

#include <X11/extensions/Xrandr.h>

#include "platform/window/x11/X11Calls.h"

namespace platform::takeover {

std::optional<std::vector<Monitor>> randrMonitors(Display* display) {
  if (!x11::hasRandr(display, 1, 5)) return std::nullopt;
  x11::ErrorTrap trap(display);
  int count = 0;
  XRRMonitorInfo* listed = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
  if (!listed || trap.failed()) {
    if (listed) XRRFreeMonitors(listed);
    return std::nullopt;
  }
  std::vector<Monitor> monitors;
  for (int i = 0; i < count; ++i)
    monitors.push_back({{listed[i].x, listed[i].y, listed[i].width, listed[i].height}, listed[i].primary != 0});
  XRRFreeMonitors(listed);
  return monitors;
}

}  // namespace platform::takeover
