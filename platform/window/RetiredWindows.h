#pragma once

#include <SDL.h>

// Windows the demo no longer needs. On Wayland itself SDL destroys a window with a round trip to
// the compositor, which, while the compositor reconfigures its monitors, takes most of a second
// (gnome-shell 43: up to 0.8 s): there a window is destroyed a second after it is retired, under
// the windows made since, when the compositor is quiet again. Elsewhere it goes at once.
namespace platform::takeover {

void retireWindow(SDL_Window* window);

// Destroys the windows retired a second ago or more. Called once a frame.
void destroyRetiredWindows();

}  // namespace platform::takeover
