#include "platform/guests/ClockGuests.h"

#include <libsoup/soup.h>

#include <algorithm>

namespace {
// A guest's own clock asks once a second or so; this much leaves room for its first bursts.
constexpr double kBurst = ClockGuests::kMostPerSecond;
// Control frames are up to 125 bytes; a clock message is 8. Past this libsoup closes the socket
// (1009) before reading the payload.
constexpr guint64 kLargestPayload = 125;
// Pings keep a quiet guest's socket busy, under the connections' idle time-out.
constexpr guint kKeepaliveSeconds = 10;
}  // namespace

struct ClockGuests::Guest {
  ClockGuests* owner;
  SoupWebsocketConnection* connection;
  double tokens = kBurst;
  gint64 lastUs = g_get_monotonic_time();

  bool withinRate() {
    const gint64 now = g_get_monotonic_time();
    tokens = std::min(kBurst, tokens + (now - lastUs) * 1e-6 * kMostPerSecond);
    lastUs = now;
    if (tokens < 1) return false;
    tokens -= 1;
    return true;
  }
};

bool ClockGuests::reserve() {
  if (guests_.size() + reserved_ >= kMost) return false;
  ++reserved_;
  return true;
}

void ClockGuests::adopt(SoupWebsocketConnection* connection) {
  auto* guest = new Guest{this, connection};
  guests_.insert(guest);
  g_object_ref(connection);
  soup_websocket_connection_set_max_incoming_payload_size(connection, kLargestPayload);
  soup_websocket_connection_set_keepalive_interval(connection, kKeepaliveSeconds);
  g_signal_connect(connection, "message", G_CALLBACK(&ClockGuests::received), guest);
  g_signal_connect(connection, "closed", G_CALLBACK(&ClockGuests::closed), guest);
}

void ClockGuests::received(SoupWebsocketConnection* connection, int type, GBytes* message, Guest* guest) {
  gsize size = 0;
  const auto* ask = static_cast<const uint8_t*>(g_bytes_get_data(message, &size));
  const char* wrong = type != SOUP_WEBSOCKET_DATA_BINARY ? "binary messages only"
                      : size != kClockAskSize            ? "8-byte messages only"
                      : !guest->withinRate()             ? "too many messages"
                                                         : nullptr;
  if (wrong) {
    if (soup_websocket_connection_get_state(connection) == SOUP_WEBSOCKET_STATE_OPEN)
      soup_websocket_connection_close(connection, SOUP_WEBSOCKET_CLOSE_POLICY_VIOLATION, wrong);
    return;
  }
  const auto reply = clockReply(ask, guest->owner->readClock_());  // the clock read last thing
  soup_websocket_connection_send_binary(connection, reply.data(), reply.size());
}

void ClockGuests::closed(SoupWebsocketConnection* connection, Guest* guest) {
  guest->owner->guests_.erase(guest);
  g_signal_handlers_disconnect_by_data(connection, guest);
  delete guest;
  g_object_unref(connection);
}

void ClockGuests::closeAll() {
  // No loop runs any more to finish a closing handshake: the streams are closed outright.
  for (Guest* guest : std::set<Guest*>(guests_)) {
    g_io_stream_close(soup_websocket_connection_get_io_stream(guest->connection), nullptr, nullptr);
    closed(guest->connection, guest);
  }
}
