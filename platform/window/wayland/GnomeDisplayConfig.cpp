#include <gio/gio.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/window/DisplayReport.h"
#include "platform/window/wayland/GnomeDisplayConfig.h"

namespace platform {
namespace {

// An answer the desktop has not given in this time is not coming.
constexpr int kCallTimeoutMs = 1000;

constexpr const char* kName = "org.gnome.Mutter.DisplayConfig";
constexpr const char* kPath = "/org/gnome/Mutter/DisplayConfig";

// The primary logical monitor's corner, asked of mutter; nothing when it does not answer.
// GetCurrentState gives (serial, monitors, logical monitors, properties); a logical monitor is
// (x, y, scale, transform, primary, its monitors, properties).
std::optional<std::optional<OutputOrigin>> readPrimary(GDBusConnection* bus) {
  GError* error = nullptr;
  GVariant* state = g_dbus_connection_call_sync(
      bus, kName, kPath, kName, "GetCurrentState", nullptr,
      G_VARIANT_TYPE("(ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv})"), G_DBUS_CALL_FLAGS_NO_AUTO_START,
      kCallTimeoutMs, nullptr, &error);
  if (!state) {
    g_clear_error(&error);
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

// MonitorsChanged is heard by a filter on the connection, which GDBus runs in its own thread as
// messages arrive; a thread of the watch's own then reads the new state, so the frame loop only
// ever reads what is kept.
class GnomePrimaryWatch final : public PrimaryWatch {
 public:
  GnomePrimaryWatch(GDBusConnection* bus, std::optional<OutputOrigin> primary) : bus_(bus), primary_(primary) {
    filter_ = g_dbus_connection_add_filter(bus_, onMessage, this, nullptr);
    // Asked without waiting for the reply: the bus reads it before any question that follows.
    g_dbus_connection_call(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "AddMatch",
                           g_variant_new("(s)", "type='signal',interface='org.gnome.Mutter.DisplayConfig',"
                                                "member='MonitorsChanged',path='/org/gnome/Mutter/DisplayConfig'"),
                           nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    reader_ = std::thread([this] { readWhenTold(); });
  }

  ~GnomePrimaryWatch() override {
    g_dbus_connection_remove_filter(bus_, filter_);
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    told_.notify_one();
    reader_.join();
    g_object_unref(bus_);
  }

  std::optional<OutputOrigin> primary() const override {
    std::lock_guard lock(mutex_);
    return primary_;
  }

  bool reading() const override {
    std::lock_guard lock(mutex_);
    return readWanted_ || readInFlight_;
  }

  bool takeNews() override {
    std::lock_guard lock(mutex_);
    return std::exchange(news_, false);
  }

 private:
  static GDBusMessage* onMessage(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer self) {
    if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_SIGNAL &&
        g_strcmp0(g_dbus_message_get_interface(message), kName) == 0 &&
        g_strcmp0(g_dbus_message_get_member(message), "MonitorsChanged") == 0 &&
        g_strcmp0(g_dbus_message_get_path(message), kPath) == 0) {
      auto* watch = static_cast<GnomePrimaryWatch*>(self);
      std::lock_guard lock(watch->mutex_);
      watch->readWanted_ = true;
      watch->told_.notify_one();
    }
    return message;
  }

  void readWhenTold() {
    std::unique_lock lock(mutex_);
    for (;;) {
      told_.wait(lock, [this] { return readWanted_ || stopping_; });
      if (stopping_) return;
      readWanted_ = false;
      readInFlight_ = true;
      lock.unlock();
      const auto answer = readPrimary(bus_);
      lock.lock();
      readInFlight_ = false;
      if (answer) {
        primary_ = *answer;
      } else {
        reportOnce("gnome primary", "GNOME did not say in time which monitor is primary: the one it last named serves");
      }
      news_ = true;
    }
  }

  GDBusConnection* const bus_;
  mutable std::mutex mutex_;
  std::condition_variable told_;
  std::optional<OutputOrigin> primary_;
  bool readWanted_ = false;
  bool readInFlight_ = false;
  bool news_ = false;
  bool stopping_ = false;
  guint filter_ = 0;
  std::thread reader_;
};

}  // namespace

std::unique_ptr<PrimaryWatch> watchGnomePrimary() {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!bus) {
    g_clear_error(&error);
    return nullptr;
  }
  // Should the session bus go, the demo goes on without the watch; GLib would end it (SIGTERM).
  g_dbus_connection_set_exit_on_close(bus, FALSE);
  const auto primary = readPrimary(bus);
  if (!primary) {  // not GNOME
    g_object_unref(bus);
    return nullptr;
  }
  return std::make_unique<GnomePrimaryWatch>(bus, *primary);
}

}  // namespace platform
