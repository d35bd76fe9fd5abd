#include "platform/party/PartySocket.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
bool mapped(const in6_addr& a) { return IN6_IS_ADDR_V4MAPPED(&a); }

// IPv4 as itself, whichever socket it came through.
sockaddr_storage plain(const sockaddr_storage& address) {
  if (address.ss_family != AF_INET6) return address;
  const auto& six = reinterpret_cast<const sockaddr_in6&>(address);
  if (!mapped(six.sin6_addr)) return address;
  sockaddr_storage out{};
  auto& four = reinterpret_cast<sockaddr_in&>(out);
  four.sin_family = AF_INET;
  four.sin_port = six.sin6_port;
  std::memcpy(&four.sin_addr, six.sin6_addr.s6_addr + 12, 4);
  return out;
}

bool sameNetwork(const uint8_t* own, const uint8_t* mask, const uint8_t* other, size_t size) {
  for (size_t i = 0; i < size; ++i)
    if ((own[i] & mask[i]) != (other[i] & mask[i])) return false;
  return true;
}

int openSocket(int family, uint16_t port, std::string& why) {
  const int fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    why = std::strerror(errno);
    return -1;
  }
  const int oneHop = 1, no = 0;
  bool set = setsockopt(fd, IPPROTO_IP, IP_TTL, &oneHop, sizeof oneHop) == 0;
  sockaddr_storage any{};
  socklen_t size = sizeof(sockaddr_in);
  if (family == AF_INET6) {
    set = set && setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no) == 0 &&
          setsockopt(fd, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &oneHop, sizeof oneHop) == 0;
    auto& six = reinterpret_cast<sockaddr_in6&>(any);
    six.sin6_family = AF_INET6;
    six.sin6_port = htons(port);
    six.sin6_addr = in6addr_any;
    size = sizeof six;
  } else {
    auto& four = reinterpret_cast<sockaddr_in&>(any);
    four.sin_family = AF_INET;
    four.sin_port = htons(port);
  }
  if (!set || bind(fd, reinterpret_cast<sockaddr*>(&any), size) != 0) {
    why = std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}
}  // namespace

std::string addressText(const sockaddr_storage& given) {
  const sockaddr_storage address = plain(given);
  char host[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET) {
    const auto& four = reinterpret_cast<const sockaddr_in&>(address);
    inet_ntop(AF_INET, &four.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(four.sin_port));
  }
  const auto& six = reinterpret_cast<const sockaddr_in6&>(address);
  inet_ntop(AF_INET6, &six.sin6_addr, host, sizeof host);
  std::string text = std::string("[") + host;
  if (six.sin6_scope_id != 0) (text += '%') += std::to_string(six.sin6_scope_id);
  return text + "]:" + std::to_string(ntohs(six.sin6_port));
}

bool parseAddress(const std::string& text, sockaddr_storage& address) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  char* end = nullptr;
  const long port = std::strtol(text.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || port <= 0 || port > 65535) return false;
  address = sockaddr_storage{};
  if (text[0] != '[') {
    auto& four = reinterpret_cast<sockaddr_in&>(address);
    four.sin_family = AF_INET;
    four.sin_port = htons(static_cast<uint16_t>(port));
    return inet_pton(AF_INET, text.substr(0, colon).c_str(), &four.sin_addr) == 1;
  }
  if (text[colon - 1] != ']') return false;
  std::string host = text.substr(1, colon - 2);
  auto& six = reinterpret_cast<sockaddr_in6&>(address);
  six.sin6_family = AF_INET6;
  six.sin6_port = htons(static_cast<uint16_t>(port));
  if (const size_t percent = host.find('%'); percent != std::string::npos) {
    const long scope = std::strtol(host.c_str() + percent + 1, &end, 10);
    if (*end != '\0' || scope <= 0) return false;
    six.sin6_scope_id = static_cast<uint32_t>(scope);
    host.resize(percent);
  }
  return inet_pton(AF_INET6, host.c_str(), &six.sin6_addr) == 1;
}

bool onLocalNetwork(const sockaddr_storage& given) {
  const sockaddr_storage address = plain(given);
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  if (address.ss_family == AF_INET) {
    const auto& four = reinterpret_cast<const sockaddr_in&>(address);
    if ((ntohl(four.sin_addr.s_addr) >> 24) == 127) return true;
    bytes = reinterpret_cast<const uint8_t*>(&four.sin_addr);
    size = 4;
  } else {
    const auto& six = reinterpret_cast<const sockaddr_in6&>(address);
    if (IN6_IS_ADDR_LOOPBACK(&six.sin6_addr) || IN6_IS_ADDR_LINKLOCAL(&six.sin6_addr)) return true;
    bytes = six.sin6_addr.s6_addr;
    size = 16;
  }
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0) return false;
  bool local = false;
  for (ifaddrs* i = all; i && !local; i = i->ifa_next) {
    if (!i->ifa_addr || !i->ifa_netmask || i->ifa_addr->sa_family != address.ss_family) continue;
    if (size == 4)
      local = sameNetwork(reinterpret_cast<const uint8_t*>(&reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr),
                          reinterpret_cast<const uint8_t*>(&reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr),
                          bytes, 4);
    else
      local = sameNetwork(reinterpret_cast<const sockaddr_in6*>(i->ifa_addr)->sin6_addr.s6_addr,
                          reinterpret_cast<const sockaddr_in6*>(i->ifa_netmask)->sin6_addr.s6_addr, bytes, 16);
  }
  freeifaddrs(all);
  return local;
}

PartySocket::PartySocket(uint16_t port) {
  for (const int family : {AF_INET6, AF_INET}) {
    std::string why;
    fd_ = openSocket(family, port, why);
    if (fd_ < 0 && errno == EADDRINUSE && port != 0) fd_ = openSocket(family, 0, why);  // another disco has it
    if (fd_ >= 0) {
      family_ = family;
      break;
    }
    if (why_.empty()) why_ = why;
  }
  if (fd_ < 0) return;
  sockaddr_storage bound{};
  socklen_t size = sizeof bound;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &size);
  port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port
                                            : reinterpret_cast<sockaddr_in&>(bound).sin_port);
}

PartySocket::~PartySocket() {
  if (fd_ >= 0) close(fd_);
}

bool PartySocket::sendTo(const std::string& address, const uint8_t* data, size_t size) {
  sockaddr_storage to{};
  if (!parseAddress(address, to)) return false;
  socklen_t length = sizeof(sockaddr_in);
  if (family_ == AF_INET6 && to.ss_family == AF_INET) {  // through the dual socket, as mapped
    const sockaddr_in four = reinterpret_cast<const sockaddr_in&>(to);
    auto& six = reinterpret_cast<sockaddr_in6&>(to);
    six = sockaddr_in6{};
    six.sin6_family = AF_INET6;
    six.sin6_port = four.sin_port;
    six.sin6_addr.s6_addr[10] = six.sin6_addr.s6_addr[11] = 0xff;
    std::memcpy(six.sin6_addr.s6_addr + 12, &four.sin_addr, 4);
  } else if (family_ == AF_INET && to.ss_family == AF_INET6) {
    return false;
  }
  if (to.ss_family == AF_INET6) length = sizeof(sockaddr_in6);
  return sendto(fd_, data, size, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), length) ==
         static_cast<ssize_t>(size);
}

size_t PartySocket::receive(uint8_t* data, size_t capacity, std::string& from, bool& local, int timeoutMs) {
  pollfd ready{fd_, POLLIN, 0};
  if (poll(&ready, 1, timeoutMs) <= 0) return 0;
  sockaddr_storage sender{};
  iovec part{data, capacity};
  msghdr message{};
  message.msg_name = &sender;
  message.msg_namelen = sizeof sender;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  const ssize_t got = recvmsg(fd_, &message, MSG_DONTWAIT);
  if (got < 0) return 0;
  from = addressText(sender);
  local = onLocalNetwork(sender);
  if (message.msg_flags & MSG_TRUNC) return capacity + 1;
  return got == 0 ? 0 : static_cast<size_t>(got);
}
