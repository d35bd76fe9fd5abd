#include "platform/window/MonitorLayout.h"

#include <algorithm>

namespace platform::takeover {

MonitorLayout layoutFor(const std::vector<Monitor>& monitors) {
  std::vector<Monitor> shown;
  std::copy_if(monitors.begin(), monitors.end(), std::back_inserter(shown),
               [](const Monitor& m) { return m.area.width > 0 && m.area.height > 0; });
  MonitorLayout layout;
  if (shown.empty()) return layout;
  const auto primary = std::find_if(shown.begin(), shown.end(), [](const Monitor& m) { return m.primary; });
  layout.main = (primary != shown.end() ? *primary : shown.front()).area;
  for (const Monitor& monitor : shown) {
    const bool known = std::find(layout.covered.begin(), layout.covered.end(), monitor.area) != layout.covered.end();
    if (monitor.area != layout.main && !known) layout.covered.push_back(monitor.area);
  }
  return layout;
}

}  // namespace platform::takeover
