#include "platform/window/HoldingWay.h"

#include <cstring>

namespace platform::takeover {
namespace {

std::unique_ptr<HoldingWay> chooseWay() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "x11") != 0) return waylandWay();
  // XWayland names its outputs XWAYLAND0, 1, ...
  const char* name = SDL_GetDisplayName(0);
  return name && std::strncmp(name, "XWAYLAND", 8) == 0 ? xwaylandWay() : overrideRedirectWay();
}

}  // namespace

// Never destroyed: a way's watches may have threads of their own running as the process ends.
HoldingWay& holdingWay() {
  static HoldingWay* const way = chooseWay().release();
  return *way;
}

SDL_Window* HoldingWay::makeWindow(const char* title, const ScreenArea& area, Uint32 flags) {
  return SDL_CreateWindow(title, area.x, area.y, area.width, area.height, flags);
}

double HoldingWay::refreshRate(SDL_Window* window) {
  const int display = SDL_GetWindowDisplayIndex(window);
  SDL_DisplayMode mode;
  if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0)
    return mode.refresh_rate;
  return 0.0;
}

}  // namespace platform::takeover
