#include <algorithm>
#include <vector>
#include <utility>

#include "platform/window/Covers.h"
#include "platform/window/HoldWays.h"
#include "platform/window/ListingWait.h"
#include "platform/window/MainDisplay.h"

// Wayland itself (and any driver but X11): the compositor's full screen holds the windows, and
// the compositor moves them as the monitors change. SDL can ask for no window's place but by
// making it, so a surface that did not stay on the primary is made again there.
namespace platform::takeover {
namespace {

SDL_Window* makeCover(const ScreenArea& area) {
  return SDL_CreateWindow("disco", area.x, area.y, area.width, area.height,
                          SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR | SDL_WINDOW_FULLSCREEN_DESKTOP);
}

// Whether SDL's display list shows the monitors of `layout`: as many of them, the primary the
// compositor names, and no two overlapping, as they would where SDL has not been told one's new
// place yet (a mirror shows the same area as another: that is no overlap).
bool listingSettled(const MonitorLayout& layout) {
  if (SDL_GetNumVideoDisplays() < 1 + static_cast<int>(layout.covered.size()) || !mainDisplayListed()) return false;
  std::vector<ScreenArea> listed;
  for (int index = 0; index < SDL_GetNumVideoDisplays(); ++index) {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(index, &bounds) == 0) listed.push_back({bounds.x, bounds.y, bounds.w, bounds.h});
  }
  for (size_t i = 0; i < listed.size(); ++i)
    for (size_t j = i + 1; j < listed.size(); ++j) {
      const ScreenArea& a = listed[i];
      const ScreenArea& b = listed[j];
      const bool overlap = a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
      if (overlap && a != b) return false;
    }
  return true;
}

class WaylandHold final : public DisplayHold {
 public:
  explicit WaylandHold(SDL_Window* surface) : DisplayHold(surface) {}
  ~WaylandHold() override { stopWatching(); }

  bool take() {
    const MonitorLayout layout = listedLayout();
    covers_.addFor(layout.covered);
    if (!askFullScreen(surface_)) return false;
    layout_ = layout;
    SDL_ShowWindow(surface_);
    SDL_RaiseWindow(surface_);
    // No keyboard grab: here it is a request to inhibit the compositor's shortcuts, which GNOME
    // answers with a dialog over the scene; a focused full-screen surface has every key it needs.
    startWatching();
    return true;
  }

  void keep() override {
    const Uint64 now = SDL_GetTicks64();
    // A new primary alone, with no output added or removed, is no display event of SDL's.
    if (primaryMayHaveChanged()) wait_.start(now);
    if (wait_.due(now)) {
      const MonitorLayout layout = listedLayout();
      if (wait_.settle(listingSettled(layout), now)) {
        monitorsFollowed_ = true;
        if (!placedRight()) {
          if (remakeSince_ == 0) remakeSince_ = now;
        } else if (layout != layout_ && layout.main.width > 0) {
          follow(layout);
        }
      }
    }
    if (std::exchange(repaintCovers_, false)) covers_.paint();
  }

  Uint64 surfaceToRemakeSince() const override { return remakeSince_; }

 private:
  void notice(const SDL_Event& event) override {
    if (event.type == SDL_DISPLAYEVENT) {
      wait_.start(SDL_GetTicks64());
      // SDL minimizes a full-screen window when another of the demo's comes onto its monitor, as
      // a cover does when the compositor moves it off a monitor that went, and nothing brings a
      // minimized window back here.
      if (event.display.event == SDL_DISPLAYEVENT_DISCONNECTED && remakeSince_ == 0) remakeSince_ = SDL_GetTicks64();
    } else if (event.type == SDL_WINDOWEVENT) {
      const bool cover = covers_.has(event.window.windowID);
      // The compositor moved the surface or a cover to another monitor.
      if (event.window.event == SDL_WINDOWEVENT_DISPLAY_CHANGED &&
          (cover || event.window.windowID == SDL_GetWindowID(surface_)))
        wait_.start(SDL_GetTicks64());
      repaintCovers_ |= event.window.event == SDL_WINDOWEVENT_EXPOSED && cover;
    }
  }

  // Whether, by the monitors the compositor says each window entered, the surface is on the
  // main monitor and no two of the demo's windows share one.
  bool placedRight() const {
    std::vector<int> taken{SDL_GetWindowDisplayIndex(surface_)};
    if (taken.front() != mainDisplayIndex()) return false;
    for (SDL_Window* cover : covers_.windows()) {
      const int display = SDL_GetWindowDisplayIndex(cover);
      if (std::find(taken.begin(), taken.end(), display) != taken.end()) return false;
      taken.push_back(display);
    }
    return true;
  }

  // Covers made afresh for the monitors now, each full screen on its own.
  void follow(const MonitorLayout& layout) {
    covers_.trim(0);
    covers_.addFor(layout.covered);
    SDL_RaiseWindow(surface_);
    layout_ = layout;
  }

  Covers covers_{makeCover};
  MonitorLayout layout_;
  ListingWait wait_;
  Uint64 remakeSince_ = 0;
  bool repaintCovers_ = false;
};

}  // namespace

std::unique_ptr<DisplayHold> holdOnWayland(SDL_Window* surface) {
  auto hold = std::make_unique<WaylandHold>(surface);
  return hold->take() ? std::move(hold) : nullptr;
}

}  // namespace platform::takeover
