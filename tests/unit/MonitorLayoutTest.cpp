#include <gtest/gtest.h>

#include <ostream>

#include "platform/window/MonitorLayout.h"

namespace platform::takeover {
void PrintTo(const ScreenArea& a, std::ostream* out) { *out << a.width << "x" << a.height << "+" << a.x << "+" << a.y; }
void PrintTo(const MonitorLayout& layout, std::ostream* out) {
  *out << "scene ";
  PrintTo(layout.main, out);
  *out << ", covers";
  for (const ScreenArea& a : layout.covered) PrintTo(a, &(*out << " "));
}
}  // namespace platform::takeover

using platform::takeover::layoutFor;
using platform::takeover::Monitor;
using platform::takeover::MonitorLayout;
using platform::takeover::ScreenArea;

namespace {

const ScreenArea kLeft{0, 0, 1400, 1050};
const ScreenArea kRight{1400, 0, 1280, 720};
const ScreenArea kBelow{0, 1050, 800, 600};

struct Case {
  const char* what;
  std::vector<Monitor> monitors;
  MonitorLayout expected;
};

TEST(MonitorLayout, SceneOnThePrimaryAndOneCoverForEveryOtherArea) {
  const Case cases[] = {
      {"the primary need not come first", {{kLeft, false}, {kRight, true}, {kBelow, false}}, {kRight, {kLeft, kBelow}}},
      {"none marked primary: the first", {{kRight, false}, {kLeft, false}}, {kRight, {kLeft}}},
      {"a mirror of the primary is not covered", {{kLeft, true}, {kLeft, false}, {kRight, false}}, {kLeft, {kRight}}},
      {"two mirrors share one cover", {{kLeft, true}, {kRight, false}, {kRight, false}}, {kLeft, {kRight}}},
      {"an empty monitor is no monitor", {{{0, 0, 0, 0}, true}, {kRight, false}}, {kRight, {}}},
      {"no monitors: nowhere", {}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(layoutFor(c.monitors), c.expected) << c.what;
}

}  // namespace
