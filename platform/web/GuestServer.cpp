#include "platform/guests/GuestServer.h"

// A page is a guest itself: it welcomes none.
struct GuestServer::Impl {};

std::unique_ptr<GuestServer> GuestServer::start(const Options&, ReadClock, Report) { return nullptr; }
GuestServer::GuestServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
GuestServer::~GuestServer() = default;
uint16_t GuestServer::port() const { return 0; }
std::string GuestServer::link() const { return {}; }
