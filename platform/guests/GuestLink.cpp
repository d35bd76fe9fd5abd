#include "platform/guests/GuestLink.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <qrencode.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {
constexpr int kQuietZone = 2;  // modules, as qrencode draws in a terminal
// Whatever the terminal's colours: many readers take no code that is light on dark the other
// way round, as a dark-on-light theme would draw it.
constexpr const char* kLightOnDark = "\x1b[97;40m";
constexpr const char* kPlain = "\x1b[0m";

// The IPv4 address the default route leaves from, where there is one: connecting a UDP socket
// only looks the route up, and sends nothing. Empty without a route.
std::string defaultRouteAddress() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "";
  sockaddr_in beyond{};
  beyond.sin_family = AF_INET;
  beyond.sin_port = htons(9);
  inet_pton(AF_INET, "1.1.1.1", &beyond.sin_addr);  // any address beyond the local networks
  sockaddr_in from{};
  socklen_t size = sizeof from;
  char text[INET_ADDRSTRLEN] = "";
  if (connect(fd, reinterpret_cast<sockaddr*>(&beyond), sizeof beyond) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&from), &size) != 0 ||
      !inet_ntop(AF_INET, &from.sin_addr, text, sizeof text))
    text[0] = '\0';
  close(fd);
  return text;
}

std::string hostAddress() {
  std::vector<InterfaceAddress> listed;
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) == 0) {
    for (ifaddrs* i = all; i; i = i->ifa_next) {
      char text[INET_ADDRSTRLEN] = "";
      if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET &&
          inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr, text, sizeof text))
        listed.push_back({text, (i->ifa_flags & IFF_UP) != 0, (i->ifa_flags & IFF_RUNNING) != 0,
                          (i->ifa_flags & IFF_LOOPBACK) != 0, (i->ifa_flags & IFF_POINTOPOINT) != 0});
    }
    freeifaddrs(all);
  }
  if (std::string address = lanAddress(listed, defaultRouteAddress()); !address.empty()) return address;
  char host[256] = "";
  gethostname(host, sizeof host - 1);
  return host;
}
}  // namespace

std::string lanAddress(const std::vector<InterfaceAddress>& listed, const std::string& routed) {
  std::string lan, any;
  for (const InterfaceAddress& i : listed) {
    if (!i.up || i.loopback) continue;
    const bool onLan = i.running && !i.pointToPoint;
    if (onLan && i.address == routed) return i.address;
    if (onLan && lan.empty()) lan = i.address;
    if (any.empty()) any = i.address;
  }
  return lan.empty() ? any : lan;
}

std::string guestLink(uint16_t port) { return "http://" + hostAddress() + ":" + std::to_string(port) + "/"; }

std::string qrCodeText(const std::string& text) {
  QRcode* code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_L, QR_MODE_8, 1);
  if (!code) return "";
  const int width = code->width, side = width + 2 * kQuietZone;
  auto light = [&](int x, int y) {
    x -= kQuietZone;
    y -= kQuietZone;
    return x < 0 || y < 0 || x >= width || y >= width || !(code->data[y * width + x] & 1);
  };
  std::string drawn;
  for (int y = 0; y < side; y += 2) {
    drawn += kLightOnDark;
    for (int x = 0; x < side; ++x) {
      const bool top = light(x, y), bottom = y + 1 < side ? light(x, y + 1) : false;
      drawn += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
    }
    drawn += kPlain;
    drawn += '\n';
  }
  QRcode_free(code);
  return drawn;
}
