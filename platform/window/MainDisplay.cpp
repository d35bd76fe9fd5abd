#include "platform/window/MainDisplay.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/window/PrimaryOutput.h"

namespace platform {

namespace {

// The primary's index in SDL's list: 0 where nothing tells, -1 where the compositor names one
// SDL does not list.
int primaryIndex() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "wayland") != 0) return 0;
  const auto primary = waylandPrimaryOrigin();
  if (!primary) return 0;
  for (int index = 0; index < SDL_GetNumVideoDisplays(); ++index) {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(index, &bounds) == 0 && OutputOrigin{bounds.x, bounds.y} == *primary) return index;
  }
  return -1;
}

}  // namespace

int mainDisplayIndex() { return std::max(primaryIndex(), 0); }

bool mainDisplayListed() { return primaryIndex() >= 0; }

}  // namespace platform
