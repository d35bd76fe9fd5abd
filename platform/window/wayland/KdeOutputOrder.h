#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/window/PrimaryOutput.h"

struct kde_output_order_v1;

namespace platform {

class WaylandOutputs;

// KDE's order of its outputs (kde_output_order_v1), the first being primary: kwin sends the
// whole list again, then done, whenever it changes.
class KdeOutputOrder {
 public:
  explicit KdeOutputOrder(kde_output_order_v1* order);
  ~KdeOutputOrder();
  KdeOutputOrder(const KdeOutputOrder&) = delete;
  KdeOutputOrder& operator=(const KdeOutputOrder&) = delete;

  // Where the first of the last complete order is among `outputs`; nothing when it is none of them.
  std::optional<OutputOrigin> first(const WaylandOutputs& outputs) const;
  // Whether a complete order came since the last call.
  bool takeDone();

 private:
  static void onOutput(void* data, kde_output_order_v1*, const char* name);
  static void onDone(void* data, kde_output_order_v1*);

  kde_output_order_v1* const order_;
  std::vector<std::string> announced_;  // the order being announced
  std::vector<std::string> ordered_;    // the last complete order
  bool done_ = false;
};

}  // namespace platform
