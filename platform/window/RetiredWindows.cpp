#include "platform/window/RetiredWindows.h"

#include <utility>
#include <vector>

#include "platform/window/DisplayHold.h"

namespace platform::takeover {
namespace {

constexpr Uint64 kDelayMs = 1000;

std::vector<std::pair<SDL_Window*, Uint64>>& retired() {
  static std::vector<std::pair<SDL_Window*, Uint64>> windows;
  return windows;
}

}  // namespace

void retireWindow(SDL_Window* window) {
  if (holdingWay() == HoldingWay::WaylandFullScreen) {
    // Out of sight, and out of SDL's note of the window full screen on each display, which
    // would otherwise keep a new window there from going full screen.
    SDL_MinimizeWindow(window);
    retired().emplace_back(window, SDL_GetTicks64());
  } else {
    SDL_DestroyWindow(window);
  }
}

void destroyRetiredWindows() {
  auto& windows = retired();
  const Uint64 now = SDL_GetTicks64();
  while (!windows.empty() && now - windows.front().second >= kDelayMs) {
    SDL_DestroyWindow(windows.front().first);
    windows.erase(windows.begin());
  }
}

}  // namespace platform::takeover
