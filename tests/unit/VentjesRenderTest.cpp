#include <gtest/gtest.h>

#include <cmath>

#include "DrawnQuads.h"
#include "objects/Ventjes.h"
#include "support/OpenGLTexture.h"

namespace {

constexpr size_t kDiscs = 4, kCrowd = 19;
constexpr double kDegree = M_PI / 180.0;
using Point = std::array<double, 3>;

void expectNear(const Point& actual, const Point& expected) {
  for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(actual[axis], expected[axis], 1e-5) << axis;
}
Point middle(const Point& a, const Point& b) { return {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2}; }
bool isLogo(const DrawnQuad& q) { return std::abs(q.width() - 3.2) < 1e-5; }

class VentjesRender : public testing::Test {
 protected:
  void SetUp() override {
    gl::reset();
    ventjes.prepare();
    for (int n = 0; n < 4; ++n) names[n] = ventjes.getTextures()->getTextureName(n);
  }
  // The quads of one frame at phase b; the crowd is the last 19.
  std::vector<DrawnQuad> frameAt(float b, int32_t scrollpos = 0) {
    ventjes.setAnimation(b, 0.0f, scrollpos);
    gl::reset();
    ventjes.render();
    return drawnQuads();
  }
  Ventjes ventjes;
  GLuint names[4]{};  // dancer, logo, disc, font
};

TEST_F(VentjesRender, AtRestDiscsStandAboveTheCentreAndDancersOnTheFloor) {
  const std::vector<DrawnQuad> quads = frameAt(0.0f);
  ASSERT_EQ(quads.size(), kDiscs + 7 + kCrowd);  // "WELCOME" in cells 72-78
  const float colours[4][3] = {{0.8f, 0.4f, 1.0f}, {1.0f, 0.6f, 0.0f}, {1.0f, 1.0f, 0.4f}, {0.8f, 1.0f, 0.0f}};
  for (int n = 4; n >= 1; --n) {  // largest and farthest first
    const DrawnQuad& disc = quads[4 - n];
    SCOPED_TRACE(n);
    EXPECT_EQ(disc.texture, names[2]);
    expectNear(middle(disc.corners[0], disc.corners[2]), {0, double(n), -7.0 - (n - 1) * 0.05});
    EXPECT_NEAR(disc.width(), 4.0 * (n + 1), 1e-5);
    EXPECT_EQ(disc.colour, (std::array<double, 4>{colours[n - 1][0], colours[n - 1][1], colours[n - 1][2], 1}));
  }
  const DrawnQuad& nearest = quads.back();  // dancer 0, on the camera's side of the ring
  EXPECT_EQ(nearest.texture, names[0]);
  for (int i = 0; i < 4; ++i)
    expectNear(nearest.corners[i], {i == 0 || i == 3 ? -0.6 : 0.6, i < 2 ? 1.8 : 0.0, 4.5});
  EXPECT_EQ(nearest.texCoords, (std::vector<std::array<double, 2>>{{0, 1}, {1, 1}, {1, 0}, {0, 0}}));
  for (size_t i = quads.size() - kCrowd; i < quads.size(); ++i) {
    EXPECT_EQ(quads[i].corners[2][1], 0.0) << "on the floor, untilted";
    EXPECT_EQ(quads[i].corners[3][1], 0.0) << "on the floor, untilted";
  }
}

TEST_F(VentjesRender, AtTheTopOfAHopDancersAreOneUpAndLeanTwentyDegrees) {
  const float b = static_cast<float>(6.25 * M_PI);
  const std::vector<DrawnQuad> quads = frameAt(b);
  int dancers = 0;
  for (size_t i = quads.size() - kCrowd; i < quads.size(); ++i) {
    const DrawnQuad& q = quads[i];
    if (isLogo(q)) {  // never moves
      EXPECT_EQ(q.texture, names[1]);
      expectNear(q.corners[0], {-1.6, 6, 0});
      expectNear(q.corners[2], {1.6, 0, 0});
      continue;
    }
    ++dancers;
    const Point foot = middle(q.corners[2], q.corners[3]), head = middle(q.corners[0], q.corners[1]);
    EXPECT_NEAR(foot[1], 1.0, 1e-6);
    EXPECT_NEAR(std::hypot(foot[0], foot[2]), 4.5, 1e-5);
    EXPECT_NEAR(std::remainder(std::atan2(foot[0], foot[2]) / kDegree - b, 20.0), 0.0, 1e-3) << "at b + 20k";
    expectNear({head[0] - foot[0], head[1] - foot[1], 0}, {-1.8 * std::sin(20 * kDegree), 1.8 * std::cos(20 * kDegree), 0});
  }
  EXPECT_EQ(dancers, 18);
}

TEST_F(VentjesRender, DiscsWanderAlongLissajousPaths) {
  const float b = 4321.5f;
  frameAt(b);
  const double xDivisor[] = {20, 23, 26, 29}, yDivisor[] = {23, 23.5, 24, 24.5};
  const float dz[] = {-7.0f, -7.05f, -7.1f, -7.15f};
  const std::vector<gl::Call> moves = gl::callsNamed("glTranslatef");
  for (int n = 4; n >= 1; --n) {
    // Compared as floats: GCC 12's SLP vectoriser may drop a double->float->double round trip.
    const std::vector<float> expected{float(n * std::sin(0.6 * b / xDivisor[n - 1])),
                                      float(n * std::cos(0.6 * b / yDivisor[n - 1])), dz[n - 1]};
    EXPECT_EQ(std::vector<float>(moves[4 - n].args.begin(), moves[4 - n].args.end()), expected) << n;
  }
}

TEST_F(VentjesRender, DrawsDiscsThenScrollerThenCrowdFarToNear) {
  for (const float b : {0.0f, 7.0f, 95.5f, 180.0f, 271.0f, 35999.0f}) {
    SCOPED_TRACE(b);
    const std::vector<DrawnQuad> quads = frameAt(b, 500);
    const size_t crowd = quads.size() - kCrowd;
    for (size_t i = 0; i < kDiscs; ++i) EXPECT_LT(quads[i].depth(), -6.99);
    for (size_t i = kDiscs; i < crowd; ++i) EXPECT_EQ(quads[i].texture, names[3]);
    for (size_t i = crowd + 1; i < quads.size(); ++i) EXPECT_LE(quads[i - 1].depth(), quads[i].depth()) << i;
    EXPECT_EQ(std::count_if(quads.end() - kCrowd, quads.end(), isLogo), 1);
  }
  // At b = 0 nine dancers (ring angles 100-260 degrees) stand behind the logo.
  EXPECT_TRUE(isLogo(frameAt(0.0f)[kDiscs + 7 + 9]));
}

TEST_F(VentjesRender, LeavesTheGLStateAsDocumented) {
  gl::reset();
  glTranslatef(1, -2, -10);
  glRotatef(30, 0, 1, 0);
  const gl::State entry = gl::state();
  ventjes.setAnimation(123.0f, 0.5f, 300);
  ventjes.render();
  const gl::State& exit = gl::state();
  EXPECT_FALSE(exit.isEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(exit.isEnabled(GL_BLEND));
  EXPECT_EQ(exit.blendSrc, GLenum(GL_SRC_ALPHA));
  EXPECT_EQ(exit.blendDst, GLenum(GL_ONE_MINUS_SRC_ALPHA));
  EXPECT_EQ(exit.color, (std::array<double, 4>{1, 1, 1, 1}));
  EXPECT_EQ(exit.modelview, entry.modelview);
  EXPECT_EQ(exit.boundTexture2D, drawnQuads().back().texture);
  EXPECT_LT(gl::find("glEnable(GL_TEXTURE_2D)"), gl::find("glBegin(GL_QUADS)"));
  EXPECT_LT(gl::find("glEnable(GL_BLEND)"), gl::find("glBegin(GL_QUADS)"));
  EXPECT_LT(gl::find("glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)"), gl::find("glBegin(GL_QUADS)"));
}

TEST(VentjesBeforePrepare, DrawsEveryQuadUntextured) {
  gl::reset();
  Ventjes ventjes;
  ventjes.render();
  EXPECT_EQ(drawnQuads().size(), kDiscs + 7 + kCrowd);
  for (const gl::Call& bind : gl::callsNamed("glBindTexture")) EXPECT_EQ(bind.args[1], 0.0);
}

}  // namespace
