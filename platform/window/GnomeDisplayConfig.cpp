#include <gio/gio.h>

#include <atomic>

#include "platform/window/PrimaryOutput.h"

namespace platform {

namespace {

// An answer the desktop has not given in this time is not coming: the demo starts without it.
constexpr int kCallTimeoutMs = 1000;

constexpr const char* kName = "org.gnome.Mutter.DisplayConfig";
constexpr const char* kPath = "/org/gnome/Mutter/DisplayConfig";

// Set by GDBus's own thread as mutter's MonitorsChanged signal comes in; read and cleared by the
// frame loop.
std::atomic<bool> monitorsChanged{false};

GDBusMessage* noteMonitorsChanged(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer) {
  if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_SIGNAL &&
      g_strcmp0(g_dbus_message_get_interface(message), kName) == 0 &&
      g_strcmp0(g_dbus_message_get_member(message), "MonitorsChanged") == 0 &&
      g_strcmp0(g_dbus_message_get_path(message), kPath) == 0)
    monitorsChanged = true;
  return message;
}

// The session bus, kept open from the first question on; its signal MonitorsChanged is watched
// from then on. The watch is a filter on the connection, which GDBus runs in its own thread as
// messages arrive: nothing needs dispatching in the frame loop, which only reads a flag.
GDBusConnection* sessionBus() {
  static GDBusConnection* const bus = [] {
    GError* error = nullptr;
    GDBusConnection* connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!connection) {
      g_clear_error(&error);
      return connection;
    }
    g_dbus_connection_add_filter(connection, noteMonitorsChanged, nullptr, nullptr);
    // Asked without waiting for the reply: the bus reads it before any question that follows.
    g_dbus_connection_call(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "AddMatch",
                           g_variant_new("(s)", "type='signal',interface='org.gnome.Mutter.DisplayConfig',"
                                                "member='MonitorsChanged',path='/org/gnome/Mutter/DisplayConfig'"),
                           nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    return connection;
  }();
  return bus;
}

}  // namespace

std::optional<OutputOrigin> gnomePrimaryOrigin() {
  GDBusConnection* bus = sessionBus();
  if (!bus) return std::nullopt;
  // (serial, monitors, logical monitors, properties); a logical monitor is
  // (x, y, scale, transform, primary, its monitors, properties).
  GError* error = nullptr;
  GVariant* state = g_dbus_connection_call_sync(
      bus, kName, kPath, kName, "GetCurrentState", nullptr,
      G_VARIANT_TYPE("(ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv})"), G_DBUS_CALL_FLAGS_NO_AUTO_START,
      kCallTimeoutMs, nullptr, &error);
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

bool gnomeMonitorsChanged() { return monitorsChanged.exchange(false, std::memory_order_relaxed); }

}  // namespace platform
