#pragma once

#include <vector>

namespace platform::takeover {

// A rectangle of the desktop, in pixels.
struct ScreenArea {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ScreenArea&) const = default;
};

struct Monitor {
  ScreenArea area;
  bool primary = false;
};

// Where the demo's windows go: the scene over the main monitor, a black cover over each other.
struct MonitorLayout {
  ScreenArea main;
  std::vector<ScreenArea> covered;
  bool operator==(const MonitorLayout&) const = default;
};

// The main monitor is the one marked primary, else the first listed. A monitor showing the same
// area as the main one, or as another covered one (a mirror), needs no cover of its own; empty
// areas are left out.
MonitorLayout layoutFor(const std::vector<Monitor>& monitors);

}  // namespace platform::takeover
