#pragma once

#include <SDL.h>

#include <memory>

#include "platform/window/DisplayHold.h"
#include "platform/window/MonitorLayout.h"
#include "platform/window/PrimaryOutput.h"

// A way of holding the displays, one for each kind of display server, chosen once from the
// display connected: Xorg's override-redirect windows (x11/), the compositor's full screen
// through XWayland (x11/), or on Wayland itself (wayland/). The common code asks the way; only
// the way knows its server.
namespace platform::takeover {

class HoldingWay {
 public:
  virtual ~HoldingWay() = default;

  // Makes a window that will take a display (the full-screen surface, a cover) at `area`, as the
  // way needs it made: on Xorg, out of the window manager's hands.
  virtual SDL_Window* makeWindow(const char* title, const ScreenArea& area, Uint32 flags);
  // Takes every display for `surface` (see DisplayHold). Null when refused, each refusal said once.
  virtual std::unique_ptr<DisplayHold> hold(SDL_Window* surface) = 0;
  // The compositor's word on which monitor is primary, kept for as long as the process runs;
  // null where SDL lists the primary first anyway.
  virtual PrimaryWatch* primaryWatch() { return nullptr; }
  // The true refresh rate of the monitor showing the middle of `window`, in frames a second
  // (fractions and all where the server tells them: 59.94); 0 when unknown.
  virtual double refreshRate(SDL_Window* window);
};

// The way for the display connected, chosen at the first call (after the video system started).
HoldingWay& holdingWay();

// The ways, each in its display server's folder.
std::unique_ptr<HoldingWay> overrideRedirectWay();  // x11/OverrideRedirectWay.cpp
std::unique_ptr<HoldingWay> xwaylandWay();          // x11/XWaylandWay.cpp
std::unique_ptr<HoldingWay> waylandWay();           // wayland/WaylandWay.cpp

}  // namespace platform::takeover
