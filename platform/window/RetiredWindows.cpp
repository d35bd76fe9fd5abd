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
