#include "platform/guests/LocalNetwork.h"

#include <arpa/inet.h>

#include <cstdint>

namespace {
bool localFour(const uint8_t* a) {
  return a[0] == 127 || a[0] == 10 || (a[0] == 172 && (a[1] & 0xf0) == 16) || (a[0] == 192 && a[1] == 168) ||
         (a[0] == 169 && a[1] == 254) || (a[0] == 100 && (a[1] & 0xc0) == 64);
}
}  // namespace

bool guests::onLocalNetwork(const std::string& address) {
  in_addr four{};
  if (inet_pton(AF_INET, address.c_str(), &four) == 1) return localFour(reinterpret_cast<const uint8_t*>(&four));
  in6_addr six{};
  if (inet_pton(AF_INET6, address.c_str(), &six) != 1) return false;
  const uint8_t* a = six.s6_addr;
  if (IN6_IS_ADDR_V4MAPPED(&six)) return localFour(a + 12);
  return IN6_IS_ADDR_LOOPBACK(&six) || (a[0] == 0xfe && (a[1] & 0xc0) == 0x80) || (a[0] & 0xfe) == 0xfc;
}
