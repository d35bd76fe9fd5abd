#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/guests/GuestLink.h"
#include "unit/TestPng.h"

namespace {
// The drawing as a camera sees it on a terminal of dark text on light, but for the colours it
// asks for: two rows of modules a line, true where light.
std::vector<std::vector<bool>> shown(const std::string& drawn) {
  std::vector<std::vector<bool>> rows(2);
  bool lightOnDark = false;
  for (size_t i = 0; i < drawn.size();) {
    if (drawn.compare(i, 2, "\x1b[") == 0) {
      const size_t end = drawn.find('m', i);
      const std::string colours = drawn.substr(i + 2, end - i - 2);
      lightOnDark = colours == "97;40" || (lightOnDark && colours != "0");
      i = end + 1;
    } else if (drawn[i] == '\n') {
      if (++i < drawn.size()) rows.resize(rows.size() + 2);
    } else {  // ' ', or a half block: U+2588 full, U+2580 upper, U+2584 lower
      const bool full = !drawn.compare(i, 3, "\u2588"), upper = !drawn.compare(i, 3, "\u2580"),
                 lower = !drawn.compare(i, 3, "\u2584");
      rows[rows.size() - 2].push_back((full || upper) == lightOnDark);
      rows[rows.size() - 1].push_back((full || lower) == lightOnDark);
      i += full || upper || lower ? 3 : 1;
    }
  }
  return rows;
}

// What zbar reads in the modules, 4 pixels each, inside the light terminal: the text, or "".
std::string scanned(const std::vector<std::vector<bool>>& modules) {
  constexpr int kScale = 4, kMargin = 4;
  const int width = (static_cast<int>(modules[0].size()) + 2 * kMargin) * kScale;
  const int height = (static_cast<int>(modules.size()) + 2 * kMargin) * kScale;
  std::vector<uint8_t> pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const size_t row = y / kScale - kMargin, column = x / kScale - kMargin;  // wraps outside
      pixels.push_back(row >= modules.size() || column >= modules[row].size() || modules[row][column] ? 255 : 0);
    }
  const std::string image = testpng::write("qr.png", width, height, PNG_FORMAT_GRAY, pixels);
  std::string text;
  if (FILE* reader = popen(("zbarimg --quiet --raw " + image + " 2>/dev/null").c_str(), "r")) {
    for (int c; (c = fgetc(reader)) != EOF;) text += static_cast<char>(c);
    pclose(reader);
  }
  return text.empty() ? text : text.substr(0, text.size() - 1);  // its line's end
}
}  // namespace

TEST(GuestLink, TheTerminalsCodeScansAsTheLink) {
  for (const std::string link : {"http://192.168.1.20:45618/?party", "http://10.250.77.1:45618/?party",
                                 "http://a-long-host-name-without-an-address.local:45618/?party"}) {
    const std::string drawn = qrCodeText(link);
    ASSERT_FALSE(drawn.empty()) << link;
    EXPECT_EQ(scanned(shown(drawn)), link);
  }
}

TEST(GuestLink, NamesTheAddressPhonesOnTheLanReach) {
  const InterfaceAddress loopback{"127.0.0.1", true, true, true, false},
      wifi{"192.168.1.20", true, true, false, false},
      bridge{"172.17.0.1", true, true, false, false},           // a container bridge, listed first
      emptyBridge{"172.18.0.1", true, false, false, false},     // no containers: no carrier
      vpn{"10.8.0.2", true, true, false, true},                 // a tunnel, the default route's too
      down{"10.0.0.5", false, false, false, false};
  EXPECT_EQ(lanAddress({loopback, bridge, wifi}, "192.168.1.20"), "192.168.1.20");
  EXPECT_EQ(lanAddress({loopback, emptyBridge, wifi}, ""), "192.168.1.20");  // a LAN with no route out
  EXPECT_EQ(lanAddress({loopback, vpn, wifi}, "10.8.0.2"), "192.168.1.20");
  EXPECT_EQ(lanAddress({loopback, down, emptyBridge}, ""), "172.18.0.1");  // better than none
  EXPECT_EQ(lanAddress({loopback, down}, ""), "");
}
