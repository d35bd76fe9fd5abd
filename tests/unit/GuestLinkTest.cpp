#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/guests/GuestLink.h"

namespace {
// The terminal's drawing as a camera sees it in a terminal of dark text on light (the colours the
// drawing asks for aside), 4 pixels a module, read by zbar as a phone reads it: the text the code
// holds, or "".
std::string scanned(const std::string& drawn) {
  std::vector<std::string> rows(2);  // two rows of modules a line of text, '#' light
  bool lightOnDark = false;
  for (size_t i = 0; i < drawn.size();) {
    if (drawn.compare(i, 2, "\x1b[") == 0) {
      const size_t end = drawn.find('m', i);
      const std::string colours = drawn.substr(i + 2, end - i - 2);
      lightOnDark = colours == "97;40" || (lightOnDark && colours != "0");
      i = end + 1;
      continue;
    }
    if (drawn[i] == '\n') {
      if (i + 1 < drawn.size()) rows.resize(rows.size() + 2);
      ++i;
      continue;
    }
    // ' ', or a three-byte half block: U+2588 full, U+2580 upper, U+2584 lower
    const bool full = drawn.compare(i, 3, "\u2588") == 0, upper = drawn.compare(i, 3, "\u2580") == 0,
               lower = drawn.compare(i, 3, "\u2584") == 0;
    const char drawnShade = lightOnDark ? '#' : '.', background = lightOnDark ? '.' : '#';
    rows[rows.size() - 2] += full || upper ? drawnShade : background;
    rows[rows.size() - 1] += full || lower ? drawnShade : background;
    i += full || upper || lower ? 3 : 1;
  }
  constexpr int kScale = 4, kMargin = 4;  // the terminal around the code
  const int width = static_cast<int>(rows[0].size() + 2 * kMargin) * kScale;
  const int height = static_cast<int>(rows.size() + 2 * kMargin) * kScale;
  char name[] = "/tmp/qr-XXXXXX.pgm";
  close(mkstemps(name, 4));
  {
    std::ofstream image(name, std::ios::binary);
    image << "P5\n" << width << " " << height << "\n255\n";
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const int row = y / kScale - kMargin, column = x / kScale - kMargin;
        const bool inside = row >= 0 && column >= 0 && row < static_cast<int>(rows.size()) &&
                            column < static_cast<int>(rows[row].size());
        const bool lit = inside ? rows[row][column] == '#' : true;
        image.put(lit ? '\xff' : '\0');
      }
  }
  std::string text;
  if (FILE* reader = popen(("zbarimg --quiet --raw " + std::string(name) + " 2>/dev/null").c_str(), "r")) {
    char buffer[512];
    while (fgets(buffer, sizeof buffer, reader)) text += buffer;
    pclose(reader);
  }
  unlink(name);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}
}  // namespace

TEST(GuestLink, TheTerminalsCodeScansAsTheLink) {
  for (const std::string link : {"http://192.168.1.20:45618/?party", "http://10.250.77.1:45618/?party",
                                 "http://a-long-host-name-without-an-address.local:45618/?party"}) {
    const std::string drawn = qrCodeText(link);
    ASSERT_FALSE(drawn.empty()) << link;
    EXPECT_EQ(scanned(drawn), link);
  }
}
