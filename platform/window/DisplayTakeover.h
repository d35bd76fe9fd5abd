#pragma once

#include <SDL.h>

#include <vector>

// Taking every display for the full-screen surface, and keeping them while the demo runs.
//
// On X11 the demo's full-screen windows are override-redirect: the window manager neither
// places, decorates nor focuses them, so the surface lands exactly on the main display, the
// black covers exactly on the others, and a click on a cover reaches the demo and nothing else.
// Elsewhere (Wayland, and X11 served by XWayland, where the compositor owns the keyboard focus)
// the compositor's own full-screen state is used.
namespace platform::takeover {

// Whether windows made to take over the displays are kept away from the window manager.
bool bypassesWindowManager();

// Wraps the creation of a window that will take a display: while one lives, new windows are
// override-redirect where that is how the displays are taken.
class TakeoverWindowScope {
 public:
  TakeoverWindowScope();
  ~TakeoverWindowScope();
  TakeoverWindowScope(const TakeoverWindowScope&) = delete;
  TakeoverWindowScope& operator=(const TakeoverWindowScope&) = delete;
};

// Covers every display but the main one with a black window, then shows `surface` over the
// main display, raised, with the keyboard focus and grab. False, with the covers destroyed and
// the surface hidden, when the displays cannot be had: full screen refused, or the keyboard
// held by another client.
bool takeDisplays(SDL_Window* surface, std::vector<SDL_Window*>& covers);

// Called with every event while the displays are held: should anything take the keyboard focus
// from the surface, it is taken back (and with it the grab, which SDL drops on focus changes);
// a cover that needs drawing is painted black again.
void keepDisplays(SDL_Window* surface, const std::vector<SDL_Window*>& covers, const SDL_Event& event);

}  // namespace platform::takeover
