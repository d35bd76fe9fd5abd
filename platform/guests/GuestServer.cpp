#include "platform/guests/GuestServer.h"

#include <libsoup/soup.h>
#include <unistd.h>

#include <cstdio>
#include <future>
#include <map>
#include <thread>

#include "platform/guests/ClockGuests.h"
#include "platform/guests/GuestAnnouncement.h"
#include "platform/guests/GuestLink.h"
#include "platform/guests/GuestRequests.h"
#include "platform/guests/PageFiles.h"

namespace {
// Enough for every guest's socket and a few page loads besides; more are closed as they come.
constexpr size_t kMostConnections = 2 * ClockGuests::kMost;
// A connection with nothing to read or write for this long is dropped (a guest's clock socket
// is pinged well within it).
constexpr guint kIdleSeconds = 30;
// A request's headers trickling in for longer than this drop their connection.
constexpr guint kRequestSeconds = 10;
constexpr const char* kDeadlineKey = "disco-deadline";
constexpr const char* kJoinQuery = "?party";
}  // namespace

struct GuestServer::Impl {
  Options options;
  Report report;
  PageFiles files;
  ClockGuests guests;
  uint16_t port = 0;
  std::string link;

  std::thread thread;
  GMainContext* context = nullptr;
  GMainLoop* loop = nullptr;
  SoupServer* server = nullptr;
  GSocketService* service = nullptr;
  // Each open connection by its remote address (the same object libsoup hands back with each
  // of its requests), held weakly: it goes when libsoup lets go of it.
  std::map<GSocketAddress*, GSocketConnection*> connections;
  bool saidConnections = false, saidGuests = false;
  std::unique_ptr<GuestAnnouncement> announcement;

  Impl(const Options& given, ReadClock readClock, Report said)
      : options(given), report(std::move(said)), guests(std::move(readClock)) {}

  void say(const std::string& line) {
    if (report) report(line);
  }

  // On the server's thread from here on.
  void run(std::promise<bool>& started) {
    context = g_main_context_new();
    g_main_context_push_thread_default(context);
    loop = g_main_loop_new(context, FALSE);
    const bool listening = listen();
    started.set_value(listening);
    if (listening) g_main_loop_run(loop);
    stop();
    g_main_loop_unref(loop);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
  }

  bool listen() {
    server = SOUP_SERVER(g_object_new(SOUP_TYPE_SERVER, "raw-paths", TRUE, "server-header", "disco", nullptr));
    // A clock message is 8 bytes: compression buys nothing and would let a guest make us inflate.
    soup_server_remove_websocket_extension(server, SOUP_TYPE_WEBSOCKET_EXTENSION_DEFLATE);
    soup_server_add_early_handler(server, "/", &Impl::early, this, nullptr);
    soup_server_add_early_handler(server, kClockPath, &Impl::early, this, nullptr);
    soup_server_add_handler(server, "/", &Impl::serve, this, nullptr);
    soup_server_add_handler(server, kClockPath, &Impl::handshake, this, nullptr);
    soup_server_add_websocket_handler(server, kClockPath, nullptr, nullptr, &Impl::joined, this, nullptr);
    g_signal_connect(server, "request-started", G_CALLBACK(&Impl::requestStarted), this);
    g_signal_connect(server, "request-read", G_CALLBACK(&Impl::requestRead), nullptr);

    service = g_socket_service_new();
    GSocketListener* listener = G_SOCKET_LISTENER(service);
    GError* error = nullptr;
    if (options.loopbackOnly) {
      GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
      GSocketAddress* address = g_inet_socket_address_new(loopback, options.port);
      GSocketAddress* bound = nullptr;
      if (g_socket_listener_add_address(listener, address, G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_TCP, nullptr,
                                        &bound, &error)) {
        port = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound));
        g_object_unref(bound);
      }
      g_object_unref(address);
      g_object_unref(loopback);
    } else if (options.port != 0 && g_socket_listener_add_inet_port(listener, options.port, nullptr, &error)) {
      port = options.port;
    } else {
      if (error && !g_error_matches(error, G_IO_ERROR, G_IO_ERROR_ADDRESS_IN_USE)) return failed(error);
      g_clear_error(&error);
      port = g_socket_listener_add_any_inet_port(listener, nullptr, &error);
      if (port != 0 && options.port != 0)
        say("port " + std::to_string(options.port) + " is taken: guests are welcomed on port " + std::to_string(port));
    }
    if (port == 0) return failed(error);
    g_signal_connect(service, "incoming", G_CALLBACK(&Impl::incoming), this);
    g_socket_service_start(service);
    return true;
  }

  bool failed(GError* error) {
    say(std::string("cannot welcome guests: ") + (error ? error->message : "no port"));
    g_clear_error(&error);
    return false;
  }

  void stop() {
    if (service) {
      g_socket_service_stop(service);
      g_socket_listener_close(G_SOCKET_LISTENER(service));
    }
    guests.closeAll();
    if (server) soup_server_disconnect(server);
    while (g_main_context_iteration(context, FALSE)) {
    }
    for (auto& [address, connection] : std::map(connections)) forget(address, connection);
    if (server) g_object_unref(server);
    if (service) g_object_unref(service);
  }

  static gboolean incoming(GSocketService*, GSocketConnection* connection, GObject*, Impl* self) {
    if (self->connections.size() >= kMostConnections) {
      if (!self->saidConnections)
        self->say("more than " + std::to_string(kMostConnections) + " connections from guests: the rest are closed");
      self->saidConnections = true;
      return TRUE;  // not kept: closed as it goes
    }
    GSocketAddress* remote = g_socket_connection_get_remote_address(connection, nullptr);
    GSocketAddress* local = g_socket_connection_get_local_address(connection, nullptr);
    if (remote && local) {
      g_socket_set_timeout(g_socket_connection_get_socket(connection), kIdleSeconds);
      self->connections[remote] = connection;
      g_object_weak_ref(G_OBJECT(connection), &Impl::closed, self);
      soup_server_accept_iostream(self->server, G_IO_STREAM(connection), local, remote, nullptr);
    } else if (remote) {
      g_object_unref(remote);
    }
    if (local) g_object_unref(local);
    return TRUE;
  }

  static void closed(gpointer user, GObject* gone) {
    auto* self = static_cast<Impl*>(user);
    for (auto& [address, connection] : self->connections)
      if (G_OBJECT(connection) == gone) {
        g_object_unref(address);
        self->connections.erase(address);
        return;
      }
  }

  void forget(GSocketAddress* address, GSocketConnection* connection) {
    g_object_weak_unref(G_OBJECT(connection), &Impl::closed, this);
    g_object_unref(address);
    connections.erase(address);
  }

  // The connection a request came on, by the address libsoup hands back with it.
  GSocketConnection* connectionOf(SoupServerMessage* message) const {
    const auto found = connections.find(soup_server_message_get_remote_address(message));
    return found == connections.end() ? nullptr : found->second;
  }

  static void requestStarted(SoupServer*, SoupServerMessage* message, Impl* self) {
    GSocketConnection* connection = self->connectionOf(message);
    if (!connection) return;
    GSource* deadline = g_timeout_source_new_seconds(kRequestSeconds);
    // Shut, not closed: libsoup's reads and writes on it then end as at the other side's close.
    g_source_set_callback(
        deadline,
        [](gpointer socket) -> gboolean {
          g_socket_shutdown(G_SOCKET(socket), TRUE, TRUE, nullptr);
          return G_SOURCE_REMOVE;
        },
        g_object_ref(g_socket_connection_get_socket(connection)), g_object_unref);
    g_source_attach(deadline, self->context);
    g_object_set_data_full(G_OBJECT(message), kDeadlineKey, deadline, [](gpointer source) {
      g_source_destroy(static_cast<GSource*>(source));
      g_source_unref(static_cast<GSource*>(source));
    });
  }

  static void requestRead(SoupServer*, SoupServerMessage* message, gpointer) {
    g_object_set_data(G_OBJECT(message), kDeadlineKey, nullptr);
  }

  static void early(SoupServer*, SoupServerMessage* message, const char*, GHashTable*, gpointer) {
    admitGuestRequest(message);
  }

  static void serve(SoupServer*, SoupServerMessage* message, const char*, GHashTable*, gpointer user) {
    serveGuestFile(message, static_cast<Impl*>(user)->files);
  }

  // Before the WebSocket handshake: the clock's one path, and a place among the guests.
  static void handshake(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, gpointer user) {
    auto* self = static_cast<Impl*>(user);
    if (std::string(path) != kClockPath) return soup_server_message_set_status(message, SOUP_STATUS_NOT_FOUND, nullptr);
    if (!self->guests.reserve()) {
      if (!self->saidGuests) self->say(std::to_string(ClockGuests::kMost) + " guests already: the rest are turned away");
      self->saidGuests = true;
      return soup_server_message_set_status(message, SOUP_STATUS_SERVICE_UNAVAILABLE, nullptr);
    }
    // The place is held until the handshake's message goes, by then a guest's or given up.
    g_object_weak_ref(G_OBJECT(message), [](gpointer guests, GObject*) { static_cast<ClockGuests*>(guests)->release(); },
                      &self->guests);
  }

  static void joined(SoupServer*, SoupServerMessage*, const char*, SoupWebsocketConnection* connection,
                     gpointer user) {
    static_cast<Impl*>(user)->guests.adopt(connection);
  }

  void welcome() {
    // The page plays alone unless its address asks it to join (platform/web/guest.js).
    link = (options.loopbackOnly ? "http://127.0.0.1:" + std::to_string(port) + "/" : guestLink(port)) + kJoinQuery;
    say("guests join the party at " + link);
    if (options.showCode && isatty(STDERR_FILENO)) {
      const std::string code = qrCodeText(link);
      std::fwrite(code.data(), 1, code.size(), stderr);
    }
    if (!options.publish) return;
    std::string why;
    announcement = GuestAnnouncement::start(port, std::string("/") + kJoinQuery, report, why);
    if (!announcement) say("no Avahi (" + why + "): guests' phones find the party by its link alone");
  }
};

std::unique_ptr<GuestServer> GuestServer::start(const Options& options, ReadClock readClock, Report report) {
  auto impl = std::make_unique<Impl>(options, std::move(readClock), std::move(report));
  std::string why;
  if (!impl->files.read(options.folder, why)) {
    impl->say("cannot welcome guests: " + why);
    return nullptr;
  }
  std::promise<bool> started;
  std::future<bool> listening = started.get_future();
  impl->thread = std::thread([self = impl.get(), &started] { self->run(started); });
  if (!listening.get()) {
    impl->thread.join();
    return nullptr;
  }
  impl->welcome();
  return std::unique_ptr<GuestServer>(new GuestServer(std::move(impl)));
}

GuestServer::GuestServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

GuestServer::~GuestServer() {
  impl_->announcement.reset();
  // From within the loop: a quit before it runs would be forgotten.
  GSource* quit = g_idle_source_new();
  g_source_set_callback(
      quit,
      [](gpointer loop) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
        return G_SOURCE_REMOVE;
      },
      impl_->loop, nullptr);
  g_source_attach(quit, impl_->context);
  g_source_unref(quit);
  impl_->thread.join();
}

uint16_t GuestServer::port() const { return impl_->port; }
std::string GuestServer::link() const { return impl_->link; }
