#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "kde-output-order-v1-client-protocol.h"
#include "platform/window/PrimaryOutput.h"
#include "platform/window/WaylandOutputs.h"

namespace platform {
namespace {

// One connection, kept open: every output's name and place, and KDE's order of their names
// (kwin sends the whole list again, then done, whenever it changes).
class KdePrimaryWatch final : public PrimaryWatch {
 public:
  KdePrimaryWatch() = default;
  ~KdePrimaryWatch() override {
    if (order_) kde_output_order_v1_destroy(order_);
    outputs_.reset();
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
    for (const auto& output : outputs_->all())
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
    if (std::strcmp(interface, kde_output_order_v1_interface.name) == 0 && !self->order_) {
      self->order_ =
          static_cast<kde_output_order_v1*>(wl_registry_bind(registry, id, &kde_output_order_v1_interface, 1));
      kde_output_order_v1_add_listener(self->order_, &kOrderListener, self);
    } else {
      self->outputs_->offer(registry, id, interface, version);
    }
  }
  static void onGlobalRemove(void* data, wl_registry*, uint32_t id) {
    static_cast<KdePrimaryWatch*>(data)->outputs_->remove(id);
  }
  static void onOrderOutput(void* data, kde_output_order_v1*, const char* name) {
    static_cast<KdePrimaryWatch*>(data)->announced_.push_back(name);
  }
  static void onOrderDone(void* data, kde_output_order_v1*) {
    auto* self = static_cast<KdePrimaryWatch*>(data);
    self->ordered_ = std::exchange(self->announced_, {});
  }

  static constexpr wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};
  static constexpr kde_output_order_v1_listener kOrderListener = {onOrderOutput, onOrderDone};

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  kde_output_order_v1* order_ = nullptr;
  std::unique_ptr<WaylandOutputs> outputs_ = std::make_unique<WaylandOutputs>();
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
