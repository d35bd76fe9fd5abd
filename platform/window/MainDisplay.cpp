#include "platform/window/MainDisplay.h"

#include <SDL.h>

#include <algorithm>
#include <vector>

#include "platform/window/HoldingWay.h"

namespace platform {

namespace {

PrimaryWatch* primaryWatch() { return takeover::holdingWay().primaryWatch(); }

// The primary's index in SDL's list: 0 where nothing tells, -1 where the compositor names one
// SDL does not list.
int primaryIndex() {
  const PrimaryWatch* watch = primaryWatch();
  const auto primary = watch ? watch->primary() : std::nullopt;
  if (!primary) return 0;
  for (int index = 0; index < SDL_GetNumVideoDisplays(); ++index) {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(index, &bounds) == 0 && OutputOrigin{bounds.x, bounds.y} == *primary) return index;
  }
  return -1;
}

}  // namespace

int mainDisplayIndex() { return std::max(primaryIndex(), 0); }

bool mainDisplayListed() {
  const PrimaryWatch* watch = primaryWatch();
  return !(watch && watch->reading()) && primaryIndex() >= 0;
}

bool primaryMayHaveChanged() {
  PrimaryWatch* watch = primaryWatch();
  return watch && watch->takeNews();
}

takeover::MonitorLayout listedLayout() {
  std::vector<takeover::Monitor> monitors;
  const int main = mainDisplayIndex();
  for (int index = 0; index < SDL_GetNumVideoDisplays(); ++index) {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(index, &bounds) == 0)
      monitors.push_back({{bounds.x, bounds.y, bounds.w, bounds.h}, index == main});
  }
  return takeover::layoutFor(monitors);
}

}  // namespace platform
