#pragma once

#include <SDL.h>

#include <memory>

#include "platform/window/DisplayHold.h"
#include "platform/window/MonitorLayout.h"

// The ways of holding the displays, one for each HoldingWay, and what they share.
namespace platform::takeover {

std::unique_ptr<DisplayHold> holdByOverrideRedirect(SDL_Window* surface);
std::unique_ptr<DisplayHold> holdThroughXWayland(SDL_Window* surface);
std::unique_ptr<DisplayHold> holdOnWayland(SDL_Window* surface);

// The monitors as SDL lists them, the main one being the compositor's primary.
MonitorLayout listedLayout();

// Asks for `surface` full screen through SDL; false, and said once, when refused.
bool askFullScreen(SDL_Window* surface);

}  // namespace platform::takeover
