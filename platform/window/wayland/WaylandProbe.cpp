#include "platform/window/DisplayServer.h"

#include <wayland-client.h>

#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

void onGlobal(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
  if (std::strcmp(interface, wl_seat_interface.name) == 0) ++*static_cast<int*>(data);
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

}  // namespace

std::string waylandProblem() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  const std::string shown = name ? name : "wayland-0";
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return "cannot connect to the Wayland compositor at " + shown;
  int seats = 0;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, &seats);
  // One round trip: the compositor lists all its globals in reply to the registry request.
  const bool answered = wl_display_roundtrip(display) >= 0;
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  if (!answered) return "the Wayland compositor at " + shown + " broke the connection";
  if (seats == 0)
    return "the Wayland compositor at " + shown +
           " has no seat: no keyboard to end the demo, and SDL's Wayland driver crashes without one";
  return {};
}

}  // namespace platform
