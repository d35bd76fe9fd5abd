#pragma once

#include <SDL.h>

// Covers the demo no longer needs while it keeps its surface. On Wayland itself SDL destroys a
// window with a round trip to the compositor, which, while the compositor reconfigures its
// monitors, takes most of a second (gnome-shell 43: up to 0.4 s): there a cover is minimized at
// once and destroyed a second later, when the compositor is quiet again. Elsewhere it goes at
// once. (A surface made again needs the old windows gone at once: SDL would not make it full
// screen beside another of the demo's on its monitor.)
namespace platform::takeover {

void retireWindow(SDL_Window* window);

// Destroys the windows retired a second ago or more. Called once a frame.
void destroyRetiredWindows();

}  // namespace platform::takeover
