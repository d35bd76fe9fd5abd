#include "platform/guests/GuestLink.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <qrencode.h>
#include <unistd.h>

namespace {
constexpr int kQuietZone = 2;  // modules, as qrencode draws in a terminal
// Whatever the terminal's colours: many readers take no code that is light on dark the other
// way round, as a dark-on-light theme would draw it.
constexpr const char* kLightOnDark = "\x1b[97;40m";
constexpr const char* kPlain = "\x1b[0m";

std::string hostAddress() {
  std::string found;
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) == 0) {
    for (ifaddrs* i = all; i && found.empty(); i = i->ifa_next) {
      if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP) ||
          (i->ifa_flags & IFF_LOOPBACK))
        continue;
      char text[INET_ADDRSTRLEN] = "";
      if (inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr, text, sizeof text))
        found = text;
    }
    freeifaddrs(all);
  }
  if (!found.empty()) return found;
  char host[256] = "";
  gethostname(host, sizeof host - 1);
  return host;
}
}  // namespace

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
