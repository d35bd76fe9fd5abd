#pragma once

#include <SDL.h>

namespace platform {

// The true refresh rate of the monitor showing the middle of `window`, in frames a second: from
// RandR's mode timings on X11 (fractions and all: 59.94, 74.76), else SDL's whole-number rate of
// the window's display; 0 when unknown.
double trueRefreshRate(SDL_Window* window);

}  // namespace platform
