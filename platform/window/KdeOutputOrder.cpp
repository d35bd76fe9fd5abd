#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <string>
#include <utility>
#include <vector>

#include "kde-output-order-v1-client-protocol.h"
#include "platform/window/PrimaryOutput.h"

namespace platform {
namespace {

struct Output {
  uint32_t id = 0;  // the registry's name for it
  wl_output* proxy = nullptr;
  std::string name;
  OutputOrigin origin;
};

// One connection, kept open: every output's name and place, and KDE's order of their names
// (kwin sends the whole list again, then done, whenever it changes).
class KdePrimaryWatch final : public PrimaryWatch {
 public:
  KdePrimaryWatch() = default;
  ~KdePrimaryWatch() override {
    if (order_) kde_output_order_v1_destroy(order_);
    for (Output& output : outputs_) wl_output_destroy(output.proxy);
    if (registry_) wl_registry_destroy(registry_);
    if (display_) wl_display_disconnect(display_);
  }

  // The globals, then what the bound objects tell; false where there is no output order.
  bool start() {
    display_ = wl_display_connect(nullptr);
    if (!display_) return false;
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &kRegistryListener, this);
    if (wl_display_roundtrip(display_) < 0 || !order_ || wl_display_roundtrip(display_) < 0) return false;
    told_ = primaryNow();
    return true;
  }

  std::optional<OutputOrigin> primary() const override { return told_; }
  bool reading() const override { return false; }

  bool takeNews() override {
    readArrived();
    const auto now = primaryNow();
    if (now == told_) return false;
    told_ = now;
    return true;
  }

 private:
  std::optional<OutputOrigin> primaryNow() const {
    if (ordered_.empty()) return std::nullopt;
    for (const Output& output : outputs_)
      if (output.name == ordered_.front()) return output.origin;
    return std::nullopt;
  }

  // Reads what the compositor sent, without waiting for more.
  void readArrived() {
    while (wl_display_prepare_read(display_) != 0)
      if (wl_display_dispatch_pending(display_) < 0) return;
    wl_display_flush(display_);
    pollfd readable{wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&readable, 1, 0) > 0) {
      wl_display_read_events(display_);
    } else {
      wl_display_cancel_read(display_);
    }
    wl_display_dispatch_pending(display_);
  }

  static void onGlobal(void* data, wl_registry* registry, uint32_t id, const char* interface, uint32_t version) {
    auto* self = static_cast<KdePrimaryWatch*>(data);
    // Names came with wl_output version 4.
    if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= 4) {
      Output& output = self->outputs_.emplace_back();
      output.id = id;
      output.proxy = static_cast<wl_output*>(wl_registry_bind(registry, id, &wl_output_interface, 4));
      wl_output_add_listener(output.proxy, &kOutputListener, &output);
    } else if (std::strcmp(interface, kde_output_order_v1_interface.name) == 0 && !self->order_) {
      self->order_ =
          static_cast<kde_output_order_v1*>(wl_registry_bind(registry, id, &kde_output_order_v1_interface, 1));
      kde_output_order_v1_add_listener(self->order_, &kOrderListener, self);
    }
  }
  static void onGlobalRemove(void* data, wl_registry*, uint32_t id) {
    auto& outputs = static_cast<KdePrimaryWatch*>(data)->outputs_;
    for (auto it = outputs.begin(); it != outputs.end(); ++it)
      if (it->id == id) {
        wl_output_destroy(it->proxy);
        outputs.erase(it);
        return;
      }
  }
  static void onGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*,
                         const char*, int32_t) {
    static_cast<Output*>(data)->origin = {x, y};
  }
  static void onMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
  static void onOutputDone(void*, wl_output*) {}
  static void onScale(void*, wl_output*, int32_t) {}
  static void onName(void* data, wl_output*, const char* name) { static_cast<Output*>(data)->name = name; }
  static void onDescription(void*, wl_output*, const char*) {}
  static void onOrderOutput(void* data, kde_output_order_v1*, const char* name) {
    static_cast<KdePrimaryWatch*>(data)->announced_.push_back(name);
  }
  static void onOrderDone(void* data, kde_output_order_v1*) {
    auto* self = static_cast<KdePrimaryWatch*>(data);
    self->ordered_ = std::exchange(self->announced_, {});
  }

  static constexpr wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};
  static constexpr wl_output_listener kOutputListener = {onGeometry, onMode,  onOutputDone,
                                                         onScale,    onName,  onDescription};
  static constexpr kde_output_order_v1_listener kOrderListener = {onOrderOutput, onOrderDone};

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  kde_output_order_v1* order_ = nullptr;
  std::list<Output> outputs_;  // a list: each output's listener holds its address
  std::vector<std::string> announced_;  // the order being announced
  std::vector<std::string> ordered_;    // the last complete order
  std::optional<OutputOrigin> told_;
};

}  // namespace

std::unique_ptr<PrimaryWatch> watchKdePrimary() {
  auto watch = std::make_unique<KdePrimaryWatch>();
  if (!watch->start()) return nullptr;
  return watch;
}

}  // namespace platform
