#include "platform/party/PartySocket.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
bool parse(const std::string& address, sockaddr_in& out) {
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos) return false;
  out = sockaddr_in{};
  out.sin_family = AF_INET;
  char* end = nullptr;
  const long port = std::strtol(address.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || port <= 0 || port > 65535) return false;
  out.sin_port = htons(static_cast<uint16_t>(port));
  return inet_pton(AF_INET, address.substr(0, colon).c_str(), &out.sin_addr) == 1;
}

std::string text(const sockaddr_in& address) {
  char host[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &address.sin_addr, host, sizeof host);
  return std::string(host) + ":" + std::to_string(ntohs(address.sin_port));
}
}  // namespace

bool onLocalNetwork(uint32_t address) {
  if ((ntohl(address) >> 24) == 127) return true;
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0) return false;
  bool local = false;
  for (ifaddrs* i = all; i && !local; i = i->ifa_next) {
    if (!i->ifa_addr || !i->ifa_netmask || i->ifa_addr->sa_family != AF_INET) continue;
    const uint32_t own = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
    const uint32_t mask = reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr;
    local = (own & mask) == (address & mask);
  }
  freeifaddrs(all);
  return local;
}

PartySocket::PartySocket() {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    why_ = std::strerror(errno);
    return;
  }
  const int oneHop = 1;
  sockaddr_in any{};
  any.sin_family = AF_INET;
  socklen_t size = sizeof any;
  if (setsockopt(fd_, IPPROTO_IP, IP_TTL, &oneHop, sizeof oneHop) != 0 ||
      bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&any), &size) != 0) {
    why_ = std::strerror(errno);
    close(fd_);
    fd_ = -1;
    return;
  }
  port_ = ntohs(any.sin_port);
}

PartySocket::~PartySocket() {
  if (fd_ >= 0) close(fd_);
}

bool PartySocket::sendTo(const std::string& address, const uint8_t* data, size_t size) {
  sockaddr_in to{};
  if (!parse(address, to)) return false;
  return sendto(fd_, data, size, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
         static_cast<ssize_t>(size);
}

size_t PartySocket::receive(uint8_t* data, size_t capacity, std::string& from, bool& local, int timeoutMs) {
  pollfd ready{fd_, POLLIN, 0};
  if (poll(&ready, 1, timeoutMs) <= 0) return 0;
  sockaddr_in sender{};
  socklen_t size = sizeof sender;
  iovec part{data, capacity};
  msghdr message{};
  message.msg_name = &sender;
  message.msg_namelen = size;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  const ssize_t got = recvmsg(fd_, &message, MSG_DONTWAIT);
  if (got < 0) return 0;
  from = text(sender);
  local = onLocalNetwork(sender.sin_addr.s_addr);
  if (message.msg_flags & MSG_TRUNC) return capacity + 1;
  return got == 0 ? 0 : static_cast<size_t>(got);
}
