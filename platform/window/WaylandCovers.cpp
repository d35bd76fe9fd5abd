#include "platform/window/WaylandCovers.h"

#include <SDL.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "platform/window/DisplayReport.h"
#include "platform/window/WaylandOutputs.h"
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

// A black buffer: XRGB pixels of a fresh memory file are all zero.
wl_buffer* blackBuffer(wl_shm* shm, int width, int height) {
  const int stride = width * 4;
  const int fd = memfd_create("disco-cover", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  wl_buffer* buffer = nullptr;
  if (ftruncate(fd, static_cast<off_t>(stride) * height) == 0) {
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, stride * height);
    buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
  }
  close(fd);
  return buffer;
}

}  // namespace

// Every Wayland object here is touched by the client's thread alone; the frame loop only hands
// over the areas wanted, under the mutex.
class WaylandCovers::Client {
 public:
  ~Client() {
    if (thread_.joinable()) {
      stop_ = true;
      wakeUp();
      thread_.join();
    }
    covers_.clear();
    if (keyboard_) wl_keyboard_destroy(keyboard_);
    if (pointer_) wl_pointer_destroy(pointer_);
    if (seat_) wl_seat_destroy(seat_);
    if (shell_) xdg_wm_base_destroy(shell_);
    if (shm_) wl_shm_destroy(shm_);
    if (compositor_) wl_compositor_destroy(compositor_);
    outputs_.reset();
    if (registry_) wl_registry_destroy(registry_);
    if (display_) wl_display_disconnect(display_);
    if (wake_ >= 0) close(wake_);
  }

  bool start() {
    display_ = wl_display_connect(nullptr);
    if (!display_) return fail("no Wayland connection of their own");
    registry_ = wl_display_get_registry(display_);
    static constexpr wl_registry_listener kListener = {onGlobal, onGlobalRemove};
    wl_registry_add_listener(registry_, &kListener, this);
    // The globals, then what the outputs tell of themselves.
    if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0) return fail("the compositor went away");
    if (!compositor_ || !shm_ || !shell_) return fail("the compositor has no xdg-shell");
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) return fail("no eventfd");
    thread_ = std::thread([this] { serve(); });
    return true;
  }

  void want(std::vector<OutputOrigin> origins) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (origins == wanted_) return;
      wanted_ = std::move(origins);
    }
    wakeUp();
  }

 private:
  struct Cover {
    Client* client = nullptr;
    uint32_t output = 0;  // the registry's name of the output it covers
    wl_surface* surface = nullptr;
    xdg_surface* shell = nullptr;
    xdg_toplevel* toplevel = nullptr;
    wl_buffer* buffer = nullptr;
    int width = 0, height = 0;        // as last configured
    int bufferWidth = 0, bufferHeight = 0;

    ~Cover() {
      if (toplevel) xdg_toplevel_destroy(toplevel);
      if (shell) xdg_surface_destroy(shell);
      if (surface) wl_surface_destroy(surface);
      if (buffer) wl_buffer_destroy(buffer);
    }
  };

  bool fail(const char* why) {
    reportOnce("wayland covers", std::string("the other monitors cannot be covered: ") + why);
    return false;
  }

  void wakeUp() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wake_, &one, sizeof one);
  }

  // Reads and handles what the compositor sends, and follows the areas wanted, until stopped or
  // the connection is lost (the compositor gone: said once).
  void serve() {
    if (!serveUntilStopped() && !stop_)
      reportOnce("wayland covers lost", "the covers' connection to the compositor is lost: the other monitors are not covered");
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
      if (woken || outputs_->takeChanged()) follow();
    }
    return true;
  }

  // Covers made and ended until the outputs wanted, and only they, have one.
  void follow() {
    std::vector<uint32_t> targets;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      for (const OutputOrigin& origin : wanted_)
        if (const auto* output = outputs_->at(origin)) targets.push_back(output->id);
    }
    covers_.remove_if([&](const Cover& cover) {
      return std::find(targets.begin(), targets.end(), cover.output) == targets.end();
    });
    for (uint32_t target : targets)
      if (std::none_of(covers_.begin(), covers_.end(), [&](const Cover& c) { return c.output == target; }))
        make(target);
    wl_display_flush(display_);
  }

  void make(uint32_t target) {
    Cover& cover = covers_.emplace_back();
    cover.client = this;
    cover.output = target;
    // The whole surface takes the pointer (the default input region): a click on a black
    // monitor reaches no window beneath it.
    cover.surface = wl_compositor_create_surface(compositor_);
    static constexpr wl_surface_listener kSurfaceListener = {onEnter, onLeave};
    wl_surface_add_listener(cover.surface, &kSurfaceListener, &cover);
    cover.shell = xdg_wm_base_get_xdg_surface(shell_, cover.surface);
    static constexpr xdg_surface_listener kShellListener = {onConfigure};
    xdg_surface_add_listener(cover.shell, &kShellListener, &cover);
    cover.toplevel = xdg_surface_get_toplevel(cover.shell);
    static constexpr xdg_toplevel_listener kToplevelListener = {onToplevelConfigure, onClose, onBounds, onCapabilitiesOfWm};
    xdg_toplevel_add_listener(cover.toplevel, &kToplevelListener, &cover);
    xdg_toplevel_set_title(cover.toplevel, "disco");
    xdg_toplevel_set_app_id(cover.toplevel, "disco");
    placeOnOutput(cover, false);
    wl_surface_commit(cover.surface);
  }

  void placeOnOutput(Cover& cover, bool again) {
    const auto* output = outputs_->withId(cover.output);
    if (!output) return;
    if (again) {
      moveFullScreen(cover.toplevel, output->proxy);
    } else {
      xdg_toplevel_set_fullscreen(cover.toplevel, output->proxy);
    }
  }

  static void onToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
    auto* cover = static_cast<Cover*>(data);
    cover->width = width;
    cover->height = height;
  }
  static void onClose(void*, xdg_toplevel*) {}  // a cover stays as long as the demo needs it
  static void onBounds(void*, xdg_toplevel*, int32_t, int32_t) {}
  static void onCapabilitiesOfWm(void*, xdg_toplevel*, wl_array*) {}

  // Painted at the size asked, or the output's where the compositor leaves it to the client.
  static void onConfigure(void* data, xdg_surface* shell, uint32_t serial) {
    auto* cover = static_cast<Cover*>(data);
    xdg_surface_ack_configure(shell, serial);
    int width = cover->width, height = cover->height;
    if (width <= 0 || height <= 0) {
      const auto* output = cover->client->outputs_->withId(cover->output);
      width = output && output->width > 0 ? output->width : 1;
      height = output && output->height > 0 ? output->height : 1;
    }
    if (!cover->buffer || width != cover->bufferWidth || height != cover->bufferHeight) {
      if (cover->buffer) wl_buffer_destroy(cover->buffer);
      cover->buffer = blackBuffer(cover->client->shm_, width, height);
      cover->bufferWidth = width;
      cover->bufferHeight = height;
    }
    wl_surface_attach(cover->surface, cover->buffer, 0, 0);
    wl_surface_damage(cover->surface, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_commit(cover->surface);
  }

  // The compositor may move a cover as its monitors change: it is asked back onto its own.
  static void onEnter(void* data, wl_surface*, wl_output* entered) {
    auto* cover = static_cast<Cover*>(data);
    const auto* own = cover->client->outputs_->withId(cover->output);
    if (own && own->proxy != entered) cover->client->placeOnOutput(*cover, true);
  }
  static void onLeave(void*, wl_surface*, wl_output*) {}

  static void onPing(void*, xdg_wm_base* shell, uint32_t serial) { xdg_wm_base_pong(shell, serial); }

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
  // The cursor is hidden over a cover, as over the scene; clicks do nothing.
  static void onPointerEnter(void*, wl_pointer* pointer, uint32_t serial, wl_surface*, wl_fixed_t, wl_fixed_t) {
    wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
  }
  static void onPointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}
  static void onPointerMotion(void*, wl_pointer*, uint32_t, wl_fixed_t, wl_fixed_t) {}
  static void onButton(void*, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t) {}
  static void onAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
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

  static void onGlobal(void* data, wl_registry* registry, uint32_t id, const char* interface, uint32_t version) {
    auto* self = static_cast<Client*>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0 && !self->compositor_) {
      self->compositor_ = static_cast<wl_compositor*>(wl_registry_bind(registry, id, &wl_compositor_interface, 1));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0 && !self->shm_) {
      self->shm_ = static_cast<wl_shm*>(wl_registry_bind(registry, id, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0 && !self->shell_) {
      self->shell_ = static_cast<xdg_wm_base*>(wl_registry_bind(registry, id, &xdg_wm_base_interface, 1));
      static constexpr xdg_wm_base_listener kListener = {onPing};
      xdg_wm_base_add_listener(self->shell_, &kListener, self);
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat_) {
      self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, id, &wl_seat_interface, std::min(version, 2u)));
      static constexpr wl_seat_listener kListener = {onCapabilities, onSeatName};
      wl_seat_add_listener(self->seat_, &kListener, self);
    } else {
      self->outputs_->offer(registry, id, interface, version);
    }
  }
  // An output gone takes its cover with it, before its proxy goes.
  static void onGlobalRemove(void* data, wl_registry*, uint32_t id) {
    auto* self = static_cast<Client*>(data);
    self->covers_.remove_if([&](const Cover& cover) { return cover.output == id; });
    self->outputs_->remove(id);
  }

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  xdg_wm_base* shell_ = nullptr;
  wl_seat* seat_ = nullptr;
  wl_keyboard* keyboard_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  std::unique_ptr<WaylandOutputs> outputs_ = std::make_unique<WaylandOutputs>();
  std::list<Cover> covers_;  // a list: each cover's listeners hold its address

  std::thread thread_;
  int wake_ = -1;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<OutputOrigin> wanted_;
};

WaylandCovers::WaylandCovers(std::unique_ptr<Client> client) : client_(std::move(client)) {}
WaylandCovers::~WaylandCovers() = default;

std::unique_ptr<WaylandCovers> WaylandCovers::connect() {
  auto client = std::make_unique<Client>();
  if (!client->start()) return nullptr;
  return std::unique_ptr<WaylandCovers>(new WaylandCovers(std::move(client)));
}

void WaylandCovers::cover(const std::vector<ScreenArea>& areas) {
  std::vector<OutputOrigin> origins;
  for (const ScreenArea& area : areas) origins.push_back({area.x, area.y});
  client_->want(std::move(origins));
}

}  // namespace platform::takeover
