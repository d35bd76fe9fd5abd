#include "platform/window/wayland/PrivateConnection.h"

#include <SDL.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "kde-output-order-v1-client-protocol.h"
#include "platform/window/DisplayReport.h"
#include "platform/window/wayland/KdeOutputOrder.h"
#include "platform/window/wayland/WaylandCovers.h"
#include "platform/window/wayland/WaylandOutputs.h"
#include "xdg-shell-client-protocol.h"

namespace platform::takeover {
namespace {

// Keys the desktop keeps for itself or that only modify others: no key press of the demo's.
bool endsNothing(uint32_t key) {
  switch (key) {
    case KEY_LEFTCTRL: case KEY_RIGHTCTRL: case KEY_LEFTSHIFT: case KEY_RIGHTSHIFT: case KEY_LEFTALT:
    case KEY_RIGHTALT: case KEY_LEFTMETA: case KEY_RIGHTMETA: case KEY_CAPSLOCK: case KEY_NUMLOCK:
    case KEY_MUTE: case KEY_VOLUMEDOWN: case KEY_VOLUMEUP: case KEY_POWER: case KEY_SLEEP:
    case KEY_PLAYPAUSE: case KEY_STOPCD: case KEY_NEXTSONG: case KEY_PREVIOUSSONG:
    case KEY_BRIGHTNESSDOWN: case KEY_BRIGHTNESSUP: case KEY_EJECTCD:
      return true;
    default:
      return false;
  }
}

}  // namespace

// Every Wayland object here is touched by the client's thread alone, once it runs; the frame loop
// only hands over the covers wanted and reads the primary kept, under the mutex.
class PrivateConnection::Client {
 public:
  ~Client() {
    if (thread_.joinable()) {
      stop_ = true;
      wakeUp();
      thread_.join();
    }
    covers_.reset();
    order_.reset();
    if (keyboard_) wl_keyboard_destroy(keyboard_);
    if (pointer_) wl_pointer_destroy(pointer_);
    if (seat_) wl_seat_destroy(seat_);
    if (globals_.shell) xdg_wm_base_destroy(globals_.shell);
    if (globals_.shm) wl_shm_destroy(globals_.shm);
    if (globals_.compositor) wl_compositor_destroy(globals_.compositor);
    outputs_.reset();
    if (registry_) wl_registry_destroy(registry_);
    if (display_) wl_display_disconnect(display_);
    if (wake_ >= 0) close(wake_);
  }

  bool start() {
    display_ = wl_display_connect(nullptr);
    if (!display_) return fail("no Wayland connection of its own");
    registry_ = wl_display_get_registry(display_);
    static constexpr wl_registry_listener kListener = {onGlobal, onGlobalRemove};
    wl_registry_add_listener(registry_, &kListener, this);
    // The globals, then what the outputs and the order tell of themselves.
    if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0) return fail("the compositor went away");
    keepPrimary(true);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) return fail("no eventfd");
    thread_ = std::thread([this] { serve(); });
    return true;
  }

  void want(std::vector<OutputOrigin> origins) {
    if (!origins.empty() && !canCover_)
      reportOnce("wayland covers", "the other monitors cannot be covered: the compositor has no xdg-shell");
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (origins == wanted_) return;
      wanted_ = std::move(origins);
    }
    wakeUp();
  }

  bool hasOrder() const { return hasOrder_; }

  std::optional<OutputOrigin> primary() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return primary_;
  }

  bool takePrimaryNews() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(primaryNews_, false);
  }

 private:
  bool fail(const char* why) {
    reportOnce("private connection", std::string("the other monitors cannot be covered, nor KDE's primary read: ") + why);
    return false;
  }

  void wakeUp() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wake_, &one, sizeof one);
  }

  // Reads and handles what the compositor sends, and follows the covers wanted, until stopped or
  // the connection is lost (the compositor gone: said once).
  void serve() {
    if (!serveUntilStopped() && !stop_)
      reportOnce("private connection lost",
                 "the demo's own connection to the compositor is lost: the other monitors are not covered");
  }

  bool serveUntilStopped() {
    while (!stop_) {
      while (wl_display_prepare_read(display_) != 0)
        if (wl_display_dispatch_pending(display_) < 0) return false;
      wl_display_flush(display_);
      pollfd ready[2] = {{wl_display_get_fd(display_), POLLIN, 0}, {wake_, POLLIN, 0}};
      if (poll(ready, 2, -1) < 0) {
        wl_display_cancel_read(display_);
        continue;
      }
      if (ready[0].revents & POLLIN) {
        if (wl_display_read_events(display_) < 0) return false;
      } else {
        wl_display_cancel_read(display_);
      }
      if (ready[0].revents & (POLLERR | POLLHUP)) return false;
      if (wl_display_dispatch_pending(display_) < 0) return false;
      uint64_t count;
      const bool woken = read(wake_, &count, sizeof count) > 0;
      const bool outputsChanged = outputs_->takeChanged();
      if ((woken || outputsChanged) && covers_) {
        covers_->follow(wantedNow());
        wl_display_flush(display_);
      }
      keepPrimary(outputsChanged);
    }
    return true;
  }

  std::vector<OutputOrigin> wantedNow() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return wanted_;
  }

  // KDE's primary as the order and the outputs now tell it.
  void keepPrimary(bool outputsChanged) {
    if (!order_ || !(order_->takeDone() || outputsChanged)) return;
    const auto first = order_->first(*outputs_);
    const std::lock_guard<std::mutex> lock(mutex_);
    if (first == primary_) return;
    primary_ = first;
    primaryNews_ = true;
  }

  // The seat's keyboard and pointer reach this connection's surfaces, the covers, alone.
  static void onCapabilities(void* data, wl_seat* seat, uint32_t capabilities) {
    auto* self = static_cast<Client*>(data);
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !self->keyboard_) {
      self->keyboard_ = wl_seat_get_keyboard(seat);
      static constexpr wl_keyboard_listener kListener = {onKeymap, onKeyboardEnter, onKeyboardLeave,
                                                         onKey,    onModifiers,     onRepeatInfo};
      wl_keyboard_add_listener(self->keyboard_, &kListener, self);
    }
    if ((capabilities & WL_SEAT_CAPABILITY_POINTER) && !self->pointer_) {
      self->pointer_ = wl_seat_get_pointer(seat);
      // The seat is bound at version 2: none of the later pointer events comes.
      static constexpr wl_pointer_listener kListener = {onPointerEnter, onPointerLeave, onPointerMotion, onButton,
                                                        onAxis, nullptr, nullptr, nullptr, nullptr, nullptr};
      wl_pointer_add_listener(self->pointer_, &kListener, self);
    }
  }
  static void onSeatName(void*, wl_seat*, const char*) {}
  static void onKeymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) { close(fd); }
  static void onKeyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
  static void onKeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
  static void onModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
  static void onRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}
  // Which key it was is not known here (no keymap is read): a key press with no character.
  static void onKey(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
    if (state != WL_KEYBOARD_KEY_STATE_PRESSED || endsNothing(key)) return;
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    SDL_PushEvent(&event);
  }
  // The cursor is hidden over a cover, as over the scene; clicks do nothing.
  static void onPointerEnter(void*, wl_pointer* pointer, uint32_t serial, wl_surface*, wl_fixed_t, wl_fixed_t) {
    wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
  }
  static void onPointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}
  static void onPointerMotion(void*, wl_pointer*, uint32_t, wl_fixed_t, wl_fixed_t) {}
  static void onButton(void*, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t) {}
  static void onAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}

  static void onPing(void*, xdg_wm_base* shell, uint32_t serial) { xdg_wm_base_pong(shell, serial); }

  static void onGlobal(void* data, wl_registry* registry, uint32_t id, const char* interface, uint32_t version) {
    auto* self = static_cast<Client*>(data);
    WaylandCovers::Globals& globals = self->globals_;
    if (std::strcmp(interface, wl_compositor_interface.name) == 0 && !globals.compositor) {
      globals.compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, id, &wl_compositor_interface, 1));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0 && !globals.shm) {
      globals.shm = static_cast<wl_shm*>(wl_registry_bind(registry, id, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0 && !globals.shell) {
      globals.shell = static_cast<xdg_wm_base*>(wl_registry_bind(registry, id, &xdg_wm_base_interface, 1));
      static constexpr xdg_wm_base_listener kListener = {onPing};
      xdg_wm_base_add_listener(globals.shell, &kListener, self);
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat_) {
      self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, id, &wl_seat_interface, std::min(version, 2u)));
      static constexpr wl_seat_listener kListener = {onCapabilities, onSeatName};
      wl_seat_add_listener(self->seat_, &kListener, self);
    } else if (std::strcmp(interface, kde_output_order_v1_interface.name) == 0 && !self->order_) {
      self->order_ = std::make_unique<KdeOutputOrder>(
          static_cast<kde_output_order_v1*>(wl_registry_bind(registry, id, &kde_output_order_v1_interface, 1)));
      self->hasOrder_ = true;
    } else {
      self->outputs_->offer(registry, id, interface, version);
    }
    if (!self->covers_ && globals.compositor && globals.shm && globals.shell) {
      self->covers_ = std::make_unique<WaylandCovers>(globals, *self->outputs_);
      self->canCover_ = true;
    }
  }
  static void onGlobalRemove(void* data, wl_registry*, uint32_t id) {
    auto* self = static_cast<Client*>(data);
    if (self->covers_) self->covers_->outputGone(id);
    self->outputs_->remove(id);
  }

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  WaylandCovers::Globals globals_;
  wl_seat* seat_ = nullptr;
  wl_keyboard* keyboard_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  std::unique_ptr<WaylandOutputs> outputs_ = std::make_unique<WaylandOutputs>();
  std::unique_ptr<WaylandCovers> covers_;  // once the compositor offers what they need
  std::unique_ptr<KdeOutputOrder> order_;  // where the compositor keeps one

  std::thread thread_;
  int wake_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<bool> hasOrder_{false};
  std::atomic<bool> canCover_{false};
  mutable std::mutex mutex_;
  std::vector<OutputOrigin> wanted_;
  std::optional<OutputOrigin> primary_;
  bool primaryNews_ = false;
};

namespace {

class OutputOrderWatch final : public PrimaryWatch {
 public:
  explicit OutputOrderWatch(PrivateConnection::Client& client) : client_(client) {}
  std::optional<OutputOrigin> primary() const override { return client_.primary(); }
  bool reading() const override { return false; }
  bool takeNews() override { return client_.takePrimaryNews(); }

 private:
  PrivateConnection::Client& client_;
};

}  // namespace

PrivateConnection::PrivateConnection(std::unique_ptr<Client> client) : client_(std::move(client)) {}
PrivateConnection::~PrivateConnection() = default;

std::unique_ptr<PrivateConnection> PrivateConnection::connect() {
  auto client = std::make_unique<Client>();
  if (!client->start()) return nullptr;
  return std::unique_ptr<PrivateConnection>(new PrivateConnection(std::move(client)));
}

void PrivateConnection::cover(const std::vector<ScreenArea>& areas) {
  std::vector<OutputOrigin> origins;
  for (const ScreenArea& area : areas) origins.push_back({area.x, area.y});
  client_->want(std::move(origins));
}

std::unique_ptr<PrimaryWatch> PrivateConnection::watchOutputOrder() {
  if (!client_->hasOrder()) return nullptr;
  return std::make_unique<OutputOrderWatch>(*client_);
}

}  // namespace platform::takeover
