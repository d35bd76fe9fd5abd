#include <poll.h>
#include <wayland-client.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "kde-output-order-v1-client-protocol.h"
#include "platform/window/PrimaryOutput.h"

namespace platform {

namespace {

struct Output {
  wl_output* proxy = nullptr;
  std::string name;
  OutputOrigin origin;
};

// What one connection learns: every output's name and place, and the names in KDE's order.
struct Listing {
  std::vector<Output> outputs;
  kde_output_order_v1* order = nullptr;
  std::vector<std::string> ordered;  // the list being announced
  std::vector<std::string> done;     // the last complete list
};

void onGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*, const char*,
                int32_t) {
  static_cast<Output*>(data)->origin = {x, y};
}
void onMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
void onOutputDone(void*, wl_output*) {}
void onScale(void*, wl_output*, int32_t) {}
void onName(void* data, wl_output*, const char* name) { static_cast<Output*>(data)->name = name; }
void onDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {onGeometry, onMode, onOutputDone, onScale, onName, onDescription};

void onOrderOutput(void* data, kde_output_order_v1*, const char* name) {
  static_cast<Listing*>(data)->ordered.push_back(name);
}
void onOrderDone(void* data, kde_output_order_v1*) {
  auto* listing = static_cast<Listing*>(data);
  listing->done = std::move(listing->ordered);
  listing->ordered.clear();
}
const kde_output_order_v1_listener kOrderListener = {onOrderOutput, onOrderDone};

void onGlobal(void* data, wl_registry* registry, uint32_t id, const char* interface, uint32_t version) {
  auto* listing = static_cast<Listing*>(data);
  // Names came with wl_output version 4.
  if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= 4) {
    listing->outputs.push_back({static_cast<wl_output*>(wl_registry_bind(registry, id, &wl_output_interface, 4)), {}, {}});
  } else if (std::strcmp(interface, kde_output_order_v1_interface.name) == 0 && !listing->order) {
    listing->order = static_cast<kde_output_order_v1*>(wl_registry_bind(registry, id, &kde_output_order_v1_interface, 1));
  }
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

// A connection of its own that stays open, bound to KDE's output order alone, to hear a new order
// (kwin sends the whole list again, then done, whenever it changes).
struct OrderWatch {
  wl_display* display = nullptr;
  kde_output_order_v1* order = nullptr;
  std::vector<std::string> ordered;
  std::vector<std::string> last;
  bool told = false;     // a first complete list came
  bool changed = false;  // a different one came since
};

void onWatchedOutput(void* data, kde_output_order_v1*, const char* name) {
  static_cast<OrderWatch*>(data)->ordered.push_back(name);
}
void onWatchedDone(void* data, kde_output_order_v1*) {
  auto* watch = static_cast<OrderWatch*>(data);
  if (watch->told && watch->ordered != watch->last) watch->changed = true;
  watch->told = true;
  watch->last = std::move(watch->ordered);
  watch->ordered.clear();
}
const kde_output_order_v1_listener kWatchListener = {onWatchedOutput, onWatchedDone};

void onWatchGlobal(void* data, wl_registry* registry, uint32_t id, const char* interface, uint32_t) {
  auto* watch = static_cast<OrderWatch*>(data);
  if (std::strcmp(interface, kde_output_order_v1_interface.name) == 0 && !watch->order) {
    watch->order = static_cast<kde_output_order_v1*>(wl_registry_bind(registry, id, &kde_output_order_v1_interface, 1));
    kde_output_order_v1_add_listener(watch->order, &kWatchListener, watch);
  }
}
const wl_registry_listener kWatchRegistryListener = {onWatchGlobal, onGlobalRemove};

// Made at the first question KDE answered; null where the compositor has no output order.
OrderWatch* orderWatch(bool start) {
  static OrderWatch* watch = nullptr;
  static bool tried = false;
  if (watch || tried || !start) return watch;
  tried = true;
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return nullptr;
  auto* made = new OrderWatch{display};
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kWatchRegistryListener, made);
  // The globals, then the first order.
  if (wl_display_roundtrip(display) < 0 || !made->order || wl_display_roundtrip(display) < 0) {
    wl_display_disconnect(display);
    delete made;
    return nullptr;
  }
  watch = made;
  return watch;
}

}  // namespace

bool kdeOutputOrderChanged() {
  OrderWatch* watch = orderWatch(false);
  if (!watch) return false;
  // Reads what the compositor sent, without waiting for more.
  wl_display* display = watch->display;
  while (wl_display_prepare_read(display) != 0)
    if (wl_display_dispatch_pending(display) < 0) return false;
  wl_display_flush(display);
  pollfd readable{wl_display_get_fd(display), POLLIN, 0};
  if (poll(&readable, 1, 0) > 0) {
    wl_display_read_events(display);
  } else {
    wl_display_cancel_read(display);
  }
  wl_display_dispatch_pending(display);
  return std::exchange(watch->changed, false);
}

std::optional<OutputOrigin> kdePrimaryOrigin() {
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return std::nullopt;
  Listing listing;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, &listing);
  bool answered = wl_display_roundtrip(display) >= 0;
  // The listeners go on before the next round trip, which brings what the bound objects tell.
  for (Output& output : listing.outputs) wl_output_add_listener(output.proxy, &kOutputListener, &output);
  if (listing.order) kde_output_order_v1_add_listener(listing.order, &kOrderListener, &listing);
  answered = answered && listing.order && wl_display_roundtrip(display) >= 0;
  std::optional<OutputOrigin> origin;
  if (answered) orderWatch(true);
  if (answered && !listing.done.empty())
    for (const Output& output : listing.outputs)
      if (output.name == listing.done.front()) origin = output.origin;
  if (listing.order) kde_output_order_v1_destroy(listing.order);
  for (Output& output : listing.outputs) wl_output_destroy(output.proxy);
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  return origin;
}

}  // namespace platform
