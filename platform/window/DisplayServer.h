#pragma once

#include <string>

namespace platform {

// Starts SDL's video subsystem on a real display. The drivers named in SDL_VIDEODRIVER are
// tried in their order; without it, Wayland where WAYLAND_DISPLAY is set (so on a Wayland
// desktop the scene is drawn at the monitor's device pixels, whatever its scale), then X11 where
// DISPLAY is set. SDL's off-screen and dummy drivers are never chosen by default: they would run
// the demo unseen. Wayland is tried only after the compositor has been asked whether SDL can
// serve it (one without a seat falls back to X11). Returns an empty string, or why no display
// can be used.
std::string connectDisplayServer();

// Asks the Wayland compositor that WAYLAND_DISPLAY names whether SDL's Wayland driver can serve
// it (wayland/WaylandProbe.cpp). Returns an empty string, or why not. A compositor without a
// seat (weston's headless back end, for one) has no keyboard to end the demo with, and SDL 2.26
// dereferences the missing seat inside SDL_Init and dies of SIGSEGV, so that case is caught here
// beforehand.
std::string waylandProblem();

}  // namespace platform
