#include <SDL_syswm.h>
#include <wayland-client.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/window/DisplayReport.h"
#include "platform/window/HoldingWay.h"
#include "platform/window/ListingWait.h"
#include "platform/window/MainDisplay.h"
#include "platform/window/wayland/GnomeDisplayConfig.h"
#include "platform/window/wayland/PrivateConnection.h"
#include "platform/window/wayland/WaylandOutputs.h"
#include "xdg-shell-client-protocol.h"

// Wayland itself (and any driver but X11): the compositor's full screen holds the surface, the
// covers live on a private connection of the demo's own, and nothing here waits on the
// compositor. As the
// monitors change the compositor moves the windows as it likes; the surface is asked onto the
// main monitor, on SDL's connection but past SDL, which would wait for the answer.
namespace platform::takeover {
namespace {

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

// The outputs bound on SDL's connection, on a queue of ours that SDL fills as it reads.
class SdlConnectionOutputs {
 public:
  explicit SdlConnectionOutputs(wl_display* display) : display_(display) {
    queue_ = wl_display_create_queue(display_);
    wrapper_ = static_cast<wl_display*>(wl_proxy_create_wrapper(display_));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper_), queue_);
    registry_ = wl_display_get_registry(wrapper_);
    static constexpr wl_registry_listener kListener = {onGlobal, onGlobalRemove};
    wl_registry_add_listener(registry_, &kListener, outputs_.get());
    // Once, as the displays are taken: the globals, then what the outputs tell of themselves.
    wl_display_roundtrip_queue(display_, queue_);
    wl_display_roundtrip_queue(display_, queue_);
  }
  ~SdlConnectionOutputs() {
    outputs_.reset();
    wl_registry_destroy(registry_);
    wl_proxy_wrapper_destroy(wrapper_);
    wl_event_queue_destroy(queue_);
  }
  SdlConnectionOutputs(const SdlConnectionOutputs&) = delete;
  SdlConnectionOutputs& operator=(const SdlConnectionOutputs&) = delete;

  // The output at `origin`, after what arrived for the queue is handled; never waits.
  wl_output* at(OutputOrigin origin) {
    wl_display_dispatch_queue_pending(display_, queue_);
    const auto* output = outputs_->at(origin);
    return output ? output->proxy : nullptr;
  }

 private:
  static void onGlobal(void* outputs, wl_registry* registry, uint32_t id, const char* interface, uint32_t version) {
    static_cast<WaylandOutputs*>(outputs)->offer(registry, id, interface, version);
  }
  static void onGlobalRemove(void* outputs, wl_registry*, uint32_t id) { static_cast<WaylandOutputs*>(outputs)->remove(id); }

  wl_display* display_;
  wl_event_queue* queue_ = nullptr;
  wl_display* wrapper_ = nullptr;
  wl_registry* registry_ = nullptr;
  std::unique_ptr<WaylandOutputs> outputs_ = std::make_unique<WaylandOutputs>();
};

class WaylandHold final : public DisplayHold {
 public:
  WaylandHold(SDL_Window* surface, PrivateConnection* covers) : DisplayHold(surface), covers_(covers) {}
  ~WaylandHold() override {
    stopWatching();
    if (covers_) covers_->cover({});
  }

  bool take() {
    const MonitorLayout layout = listedLayout();
    if (!askFullScreen()) return false;
    SDL_ShowWindow(surface_);
    SDL_RaiseWindow(surface_);
    // No keyboard grab: here it is a request to inhibit the compositor's shortcuts, which GNOME
    // answers with a dialog over the scene; a focused full-screen surface has every key it needs.
    follow(layout);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(surface_, &info) && info.subsystem == SDL_SYSWM_WAYLAND) {
      display_ = info.info.wl.display;
      toplevel_ = info.info.wl.xdg_toplevel;
      if (display_ && toplevel_) outputs_ = std::make_unique<SdlConnectionOutputs>(display_);
    }
    if (!outputs_) reportOnce("wayland toplevel", "the scene cannot be moved back onto the main monitor: SDL gives no Wayland toplevel");
    startWatching();
    return true;
  }

  void keep() override {
    const Uint64 now = SDL_GetTicks64();
    // A new primary alone, with no output added or removed, is no display event of SDL's.
    if (primaryMayHaveChanged()) changed(now);
    if (wait_.due(now)) {
      const MonitorLayout layout = listedLayout();
      if (wait_.settle(listingSettled(layout), now)) {
        monitorsFollowed_ = true;
        follow(layout);
      }
    }
    if (wait_.waiting() || SDL_GetWindowDisplayIndex(surface_) == mainDisplayIndex()) {
      offMainSince_ = 0;
      asked_ = 0;
    } else if (offMainSince_ == 0) {
      offMainSince_ = now;
    } else if (now - offMainSince_ >= kGraceMs && now - lastAsked_ >= kAskIntervalMs) {
      askOntoMain(now);
    }
  }

  bool compositorBusy(Uint64 now) const override {
    return wait_.waiting() || (lastChange_ && now - lastChange_ < kBusyMs);
  }

 private:
  // A compositor that moves the surface to the new primary itself (mutter) has done so by then:
  // asked while it is moving it, it would configure the surface twice over.
  static constexpr Uint64 kGraceMs = 1000;
  // The compositor may take a while to move the surface: asked again at most this often.
  static constexpr Uint64 kAskIntervalMs = 500;
  // How long after a change of the monitors, or a request to move the surface, the compositor
  // may still be moving windows.
  static constexpr Uint64 kBusyMs = 2000;

  void changed(Uint64 now) {
    wait_.start(now);
    lastChange_ = now;
  }

  void notice(const SDL_Event& event) override {
    if (event.type == SDL_DISPLAYEVENT ||
        (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_DISPLAY_CHANGED))
      changed(SDL_GetTicks64());
  }

  void follow(const MonitorLayout& layout) {
    if (covers_) covers_->cover(layout.covered);
  }

  // Full screen on the main monitor's output, asked past SDL, whose own request would wait for
  // the compositor's answer: once as the protocol has it, then out of full screen and back,
  // which kwin needs.
  void askOntoMain(Uint64 now) {
    lastAsked_ = now;
    SDL_Rect main;
    if (!outputs_) return;  // said as the displays were taken
    if (SDL_GetDisplayBounds(mainDisplayIndex(), &main) != 0) {
      reportOnce("main bounds", std::string("the scene cannot be moved onto the main monitor: ") + SDL_GetError());
      return;
    }
    wl_output* output = outputs_->at({main.x, main.y});
    if (!output) {
      reportOnce("main output", "the scene cannot be moved onto the main monitor: no output lies at " +
                                    std::to_string(main.x) + "," + std::to_string(main.y));
      return;
    }
    lastChange_ = now;
    if (asked_++ == 0) {
      xdg_toplevel_set_fullscreen(toplevel_, output);
    } else {
      moveFullScreen(toplevel_, output);
    }
    wl_display_flush(display_);
  }

  PrivateConnection* const covers_;  // null where the demo has no connection of its own
  wl_display* display_ = nullptr;
  xdg_toplevel* toplevel_ = nullptr;
  std::unique_ptr<SdlConnectionOutputs> outputs_;
  ListingWait wait_;
  Uint64 lastAsked_ = 0;
  Uint64 offMainSince_ = 0;
  int asked_ = 0;  // since the surface was last on the main monitor
  Uint64 lastChange_ = 0;
};

class WaylandWay final : public HoldingWay {
 public:
  std::unique_ptr<DisplayHold> hold(SDL_Window* surface) override {
    auto hold = std::make_unique<WaylandHold>(surface, connection());
    return hold->take() ? std::move(hold) : nullptr;
  }

  // GNOME's word where mutter tells it, else KDE's output order, on the covers' connection.
  PrimaryWatch* primaryWatch() override {
    if (!watchChosen_) {
      watchChosen_ = true;
      watch_ = watchGnomePrimary();
      if (!watch_ && connection()) watch_ = connection()->watchOutputOrder();
    }
    return watch_.get();
  }

 private:
  // Made at the first need, and kept: one connection and one thread for the covers and the order.
  PrivateConnection* connection() {
    if (!connectionTried_) {
      connectionTried_ = true;
      connection_ = PrivateConnection::connect();
    }
    return connection_.get();
  }

  std::unique_ptr<PrivateConnection> connection_;
  bool connectionTried_ = false;
  std::unique_ptr<PrimaryWatch> watch_;
  bool watchChosen_ = false;
};

}  // namespace

std::unique_ptr<HoldingWay> waylandWay() { return std::make_unique<WaylandWay>(); }

}  // namespace platform::takeover
