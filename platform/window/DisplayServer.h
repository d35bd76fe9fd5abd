#pragma once

#include <string>

namespace platform {

// Starts SDL's video subsystem on a real display. The drivers named in SDL_VIDEODRIVER are
// tried in their order; without it, X11 where DISPLAY is set (so XWayland is preferred on a
// Wayland desktop), then Wayland where WAYLAND_DISPLAY is set. SDL's off-screen and dummy
// drivers are never chosen by default: they would run the demo unseen. Wayland is tried only
// after the compositor has been asked whether SDL can serve it. Returns an empty string, or
// why no display can be used.
std::string connectDisplayServer();

// Whether the display connected is a Wayland compositor served directly (not through XWayland).
bool onWaylandItself();

}  // namespace platform
