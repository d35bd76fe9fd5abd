#pragma once

#include <optional>

// Where a Wayland compositor shows its primary monitor. The core protocol has no such notion:
// only the compositors that say it some way of their own can tell, GNOME over its display
// configuration on the session bus, KDE by its output order.
namespace platform {

// The primary's top-left corner on the desktop, in the same logical coordinates as the outputs'
// own positions.
struct OutputOrigin {
  int x = 0;
  int y = 0;
  bool operator==(const OutputOrigin&) const = default;
};

// GNOME (mutter, gnome-shell): the logical monitor org.gnome.Mutter.DisplayConfig marks primary.
std::optional<OutputOrigin> gnomePrimaryOrigin();
// Whether mutter has said its monitors changed (MonitorsChanged, which a new primary alone sends
// too) since the last call. Heard from the first gnomePrimaryOrigin() on; never waits.
bool gnomeMonitorsChanged();

// KDE (kwin): the first output of kde_output_order_v1, placed by its wl_output.
std::optional<OutputOrigin> kdePrimaryOrigin();
// Whether kwin has sent another output order since the last call. Heard from the first
// kdePrimaryOrigin() that KDE answered on; never waits.
bool kdeOutputOrderChanged();

}  // namespace platform
