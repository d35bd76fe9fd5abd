#pragma once

#include <string>

namespace platform {

// Asks the Wayland compositor that WAYLAND_DISPLAY names whether SDL's Wayland driver can serve
// it. Returns an empty string, or why not. A compositor without a seat (weston's headless
// back end, for one) has no keyboard to end the demo with, and SDL 2.26 dereferences the
// missing seat inside SDL_Init and dies of SIGSEGV, so that case is caught here beforehand.
std::string waylandProblem();

}  // namespace platform
