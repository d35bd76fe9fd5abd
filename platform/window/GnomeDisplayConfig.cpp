#include <gio/gio.h>

#include "platform/window/PrimaryOutput.h"

namespace platform {

namespace {

// An answer the desktop has not given in this time is not coming: the demo starts without it.
constexpr int kCallTimeoutMs = 1000;

}  // namespace

std::optional<OutputOrigin> gnomePrimaryOrigin() {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!bus) {
    g_clear_error(&error);
    return std::nullopt;
  }
  // (serial, monitors, logical monitors, properties); a logical monitor is
  // (x, y, scale, transform, primary, its monitors, properties).
  GVariant* state = g_dbus_connection_call_sync(
      bus, "org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig", "org.gnome.Mutter.DisplayConfig",
      "GetCurrentState", nullptr, G_VARIANT_TYPE("(ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv})"),
      G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr, &error);
  g_object_unref(bus);
  if (!state) {
    g_clear_error(&error);  // not GNOME
    return std::nullopt;
  }
  std::optional<OutputOrigin> origin;
  GVariant* logicalMonitors = g_variant_get_child_value(state, 2);
  GVariantIter iter;
  g_variant_iter_init(&iter, logicalMonitors);
  gint32 x = 0, y = 0;
  gboolean primary = FALSE;
  while (g_variant_iter_next(&iter, "(iidub@a(ssss)@a{sv})", &x, &y, nullptr, nullptr, &primary, nullptr, nullptr))
    if (primary && !origin) origin = OutputOrigin{x, y};
  g_variant_unref(logicalMonitors);
  g_variant_unref(state);
  return origin;
}

}  // namespace platform
