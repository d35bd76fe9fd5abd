#include "platform/window/MainDisplay.h"

#include <SDL.h>

#include <cstring>

#include "platform/window/PrimaryOutput.h"

namespace platform {

int mainDisplayIndex() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "wayland") != 0) return 0;
  const auto primary = waylandPrimaryOrigin();
  if (!primary) return 0;
  for (int index = 0; index < SDL_GetNumVideoDisplays(); ++index) {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(index, &bounds) == 0 && OutputOrigin{bounds.x, bounds.y} == *primary) return index;
  }
  return 0;
}

}  // namespace platform
