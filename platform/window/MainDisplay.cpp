#include "platform/window/MainDisplay.h"

#include <SDL.h>

#include <algorithm>

#include "platform/window/DisplayServer.h"
#include "platform/window/PrimaryOutput.h"

namespace platform {

namespace {

// The primary's index in SDL's list: 0 where nothing tells, -1 where the compositor names one
// SDL does not list.
int primaryIndex() {
  if (!onWaylandItself()) return 0;
  auto primary = gnomePrimaryOrigin();
  if (!primary) primary = kdePrimaryOrigin();
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

bool primaryMayHaveChanged() {
  const bool gnome = gnomeMonitorsChanged();
  const bool kde = kdeOutputOrderChanged();
  return gnome || kde;
}

}  // namespace platform
