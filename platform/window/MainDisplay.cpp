#include "platform/window/MainDisplay.h"

#include <SDL.h>

#include <algorithm>
#include <memory>

#include "platform/window/DisplayServer.h"
#include "platform/window/PrimaryOutput.h"

namespace platform {

namespace {

// The compositor's word on its primary, watched from the first question on; none off Wayland
// itself, where SDL lists the primary first. It lives as long as the process: GDBus may still be
// running GNOME's watch's filter in its own thread as the process ends.
PrimaryWatch* primaryWatch() {
  static PrimaryWatch* const watch = []() -> std::unique_ptr<PrimaryWatch> {
    if (!onWaylandItself()) return nullptr;
    if (auto gnome = watchGnomePrimary()) return gnome;
    return watchKdePrimary();
  }().release();
  return watch;
}

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

}  // namespace platform
