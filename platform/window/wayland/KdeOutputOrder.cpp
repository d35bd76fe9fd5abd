#include "platform/window/wayland/KdeOutputOrder.h"

#include <utility>

#include "kde-output-order-v1-client-protocol.h"
#include "platform/window/wayland/WaylandOutputs.h"

namespace platform {

KdeOutputOrder::KdeOutputOrder(kde_output_order_v1* order) : order_(order) {
  static constexpr kde_output_order_v1_listener kListener = {onOutput, onDone};
  kde_output_order_v1_add_listener(order_, &kListener, this);
}

KdeOutputOrder::~KdeOutputOrder() { kde_output_order_v1_destroy(order_); }

std::optional<OutputOrigin> KdeOutputOrder::first(const WaylandOutputs& outputs) const {
  if (ordered_.empty()) return std::nullopt;
  for (const auto& output : outputs.all())
    if (output.name == ordered_.front()) return output.origin;
  return std::nullopt;
}

bool KdeOutputOrder::takeDone() { return std::exchange(done_, false); }

void KdeOutputOrder::onOutput(void* data, kde_output_order_v1*, const char* name) {
  static_cast<KdeOutputOrder*>(data)->announced_.push_back(name);
}

void KdeOutputOrder::onDone(void* data, kde_output_order_v1*) {
  auto* self = static_cast<KdeOutputOrder*>(data);
  self->ordered_ = std::exchange(self->announced_, {});
  self->done_ = true;
}

}  // namespace platform
