#include <gtest/gtest.h>

#include "gl_recorder/GLRecorder.h"
#include "objects/Ventjes.h"

namespace {

struct Phase {
  float bounce, scrollcalc;
  int32_t scrollpos;
  bool operator==(const Phase&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Phase& p) {
  return out << "{" << p.bounce << ", " << p.scrollcalc << ", " << p.scrollpos << "}";
}

// Phase after one update of dt from a given phase.
Phase afterUpdate(Phase from, float dt) {
  Ventjes v;
  v.setAnimation(from.bounce, from.scrollcalc, from.scrollpos);
  v.updateWithDiffTime(dt);
  return {v.getBounce(), v.getScrollcalc(), v.getScrollpos()};
}

TEST(VentjesUpdate, FirstPrepareLoadsAndLogsLaterOnesOnlyRestart) {
  gl::reset();
  Ventjes ventjes;
  testing::internal::CaptureStderr();
  ventjes.prepare();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("] Ventjes\n"), std::string::npos);
  const auto* registry = ventjes.getTextures();
  ASSERT_NE(registry, nullptr);

  ventjes.updateWithDiffTime(2.1f);
  gl::reset();
  testing::internal::CaptureStderr();
  ventjes.prepare();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(gl::calls().empty()) << "no reload";
  EXPECT_EQ(ventjes.getTextures(), registry);
  EXPECT_EQ((Phase{ventjes.getBounce(), ventjes.getScrollcalc(), ventjes.getScrollpos()}), (Phase{0, 0, 0}));
}

TEST(VentjesUpdate, RatesAndWraps) {
  EXPECT_EQ(afterUpdate({0, 0, 0}, 0.0625f), (Phase{3.75f, 0.25f, 0}));  // 60 and 4 a second
  EXPECT_EQ(afterUpdate({35985, 0, 0}, 0.25f), (Phase{36000, 0, 1}));     // exactly 36000 stays
  EXPECT_EQ(afterUpdate({35990, 0, 0}, 0.25f), (Phase{5, 0, 1}));
  EXPECT_EQ(afterUpdate({0, 0, 0}, 1300.0f), (Phase{42000, 5199, 1}));    // one wrap, one cell
  EXPECT_EQ(afterUpdate({42000, 5199, 1}, 0.0f), (Phase{6000, 5198, 2}));  // catching up
  EXPECT_EQ(afterUpdate({6, 0.5f, 10}, -0.25f), (Phase{-9, -0.5f, 10}));   // backwards, no lower wrap
  // 1000 + 0.02102 * 60 summed in double rounds to 1001.26117; float steps would give 1001.26123.
  EXPECT_EQ(afterUpdate({1000, 0, 0}, 0.0210199989f).bounce, 1001.26117f);
}

}  // namespace
