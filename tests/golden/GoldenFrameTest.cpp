#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "FrameGeometry.h"
#include "app/capture/FrameCapture.h"
#include "objects/DiscoFloor.h"
#include "objects/HSVtoRGB.h"
#include "objects/ScrollText.h"
#include "objects/Ventjes.h"
#include "platform/Image.h"
#include "platform/ResourceFolder.h"
#include "platform/offscreen/OffscreenGL.h"
#include "scene/Scene.h"

namespace {

using namespace golden;

constexpr int kWidth = 960, kHeight = 540;

class GoldenFrames : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gl_ = OffscreenGL::create(kWidth, kHeight).release(); }
  static void TearDownTestSuite() { delete gl_; }

  // Renders the scene at a time and keeps the frame and where things went.
  void renderAt(double seconds, unsigned seed = 7) {
    ASSERT_NE(gl_, nullptr);
    capture_ = std::make_unique<FrameCapture>(Rect{0, 0, kWidth, kHeight}, seed);
    capture_->renderAt(seconds);
    frame_.width = kWidth;
    frame_.height = kHeight;
    frame_.rgba = gl_->readFrame();
    camera_ = cameraOf(capture_->scene());
    b_ = capture_->scene().getVentjes()->getBounce();
    for (const Sprite& sprite : crowdAt(b_)) crowdQuads_.push_back(camera_.projectQuad(sprite.corners()));
  }

  Scene& scene() { return capture_->scene(); }

  static OffscreenGL* gl_;
  std::unique_ptr<FrameCapture> capture_;
  Frame frame_;
  Camera camera_;
  float b_ = 0;
  std::vector<Quad> crowdQuads_;
};
OffscreenGL* GoldenFrames::gl_ = nullptr;

bool near(const std::array<int, 3>& got, const std::array<int, 3>& want, int tolerance) {
  for (int c = 0; c < 3; ++c)
    if (std::abs(got[c] - want[c]) > tolerance) return false;
  return true;
}

TEST_F(GoldenFrames, FloorTilesShowTheirOwnSaturatedColours) {
  for (double t : {1.0, 7.3}) {
    renderAt(t);
    const DiscoFloor& floor = *scene().getFloor();
    int checked = 0;
    for (int z = 0; z < 10; ++z)
      for (int x = 0; x < 10; ++x) {
        const Point p = camera_.project(x - 5 + 0.5, 0, z - 5 + 0.5);
        if (!frame_.contains(p, 2) || insideAny(crowdQuads_, p)) continue;
        const auto pixel = frame_.rgb(p);
        const float hue = floor.getHues()[x + z * 10];
        float r, g, b;
        HSVtoRGB(&r, &g, &b, hue, 1.0f, 1.0f);
        const int hi = std::max({pixel[0], pixel[1], pixel[2]}), lo = std::min({pixel[0], pixel[1], pixel[2]});
        EXPECT_GT(hi, 150) << "tile " << x << "," << z << " at t=" << t;
        EXPECT_LT(lo, 70) << "tile " << x << "," << z << " at t=" << t;
        const double got = hueOf(pixel), want = hueOf({int(r * 255), int(g * 255), int(b * 255)});
        const double apart = std::fabs(got - want);
        EXPECT_LT(std::min(apart, 360 - apart), 20.0) << "tile " << x << "," << z << " at t=" << t;
        ++checked;
      }
    EXPECT_GE(checked, 20) << "t=" << t;
  }
}

// The scroller's glyph quads of the frame, for telling what they cover.
std::vector<Quad> glyphQuads(const Camera& camera, const Ventjes& crowd) {
  std::vector<Quad> quads;
  for (int i = 0; i < 80; ++i) {
    const char c = scrolltext[crowd.getScrollpos() + i];
    const double cx = i - 40 - crowd.getScrollcalc();
    if (c == ' ' || c == '|' || std::fabs(cx) > 25) continue;  // beyond 25 the camera never looks
    quads.push_back(camera.projectQuad({{{cx - 0.5, 4.8, -6}, {cx + 0.5, 4.8, -6}, {cx + 0.5, 3.2, -6}, {cx - 0.5, 3.2, -6}}}));
  }
  return quads;
}

TEST_F(GoldenFrames, EachDiscShowsItsTint) {
  const std::array<std::array<int, 3>, 4> tints = {{{204, 102, 255}, {255, 153, 0}, {255, 255, 102}, {204, 255, 0}}};
  std::array<int, 4> checked{};
  for (double t = 0.25; t < 12; t += 1.3) {
    renderAt(t);
    const double b = b_;
    std::vector<Quad> occluders = crowdQuads_;
    occluders.push_back(camera_.projectQuad({{{-5, 0, -5}, {-5, 0, 5}, {5, 0, 5}, {5, 0, -5}}}));  // the floor
    for (const Quad& glyph : glyphQuads(camera_, *scene().getVentjes())) occluders.push_back(glyph);
    auto centre = [&](int n) {
      return std::array<double, 3>{n * std::sin(0.6 * b / (3.0 * (n - 1) + 20)),
                                   n * std::cos(0.6 * b / (0.5 * (n - 1) + 23)), (n - 1) / -20.0 - 7};
    };
    for (int n = 1; n <= 4; ++n) {
      const auto c = centre(n);
      const double half = 2.0 * (n + 1);  // half the side of the disc's quad
      for (double fraction : {0.0, 0.3, 0.45, 0.55})  // the disc image is opaque to 0.6 of its half side
        for (double angle = 0; angle < 2 * M_PI; angle += M_PI / 9) {
          const double x = c[0] + fraction * half * std::cos(angle), y = c[1] + fraction * half * std::sin(angle);
          bool coveredByNearerDisc = false;
          for (int m = 1; m < n; ++m) {
            const auto o = centre(m);
            if (std::hypot(x - o[0], y - o[1]) < 0.97 * 2.0 * (m + 1)) coveredByNearerDisc = true;
          }
          const Point p = camera_.project(x, y, c[2]);
          if (coveredByNearerDisc || !frame_.contains(p, 2) || insideAny(occluders, p)) continue;
          const auto got = frame_.rgb(p);
          EXPECT_TRUE(near(got, tints[n - 1], 24))
              << "disc " << n << " t=" << t << " at " << p.x << "," << p.y << " got " << got[0] << "," << got[1]
              << "," << got[2];
          ++checked[n - 1];
        }
    }
  }
  for (int n = 1; n <= 4; ++n) EXPECT_GT(checked[n - 1], 0) << "disc " << n << " never seen";
}

TEST_F(GoldenFrames, ScrollerLettersSitInTheirCells) {
  int letters = 0, spaces = 0;
  for (double t : {12.0, 23.5}) {
    renderAt(t);
    const Ventjes& crowd = *scene().getVentjes();
    const double shift = crowd.getScrollcalc();
    const int first = crowd.getScrollpos();
    for (int i = 0; i < 80; ++i) {
      const char c = scrolltext[first + i];
      const double cx = i - 40 - shift, half = c == 'I' ? 0.3 : 0.5;
      const Quad cell = camera_.projectQuad({{{cx - half, 4.8, -6}, {cx + half, 4.8, -6}, {cx + half, 3.2, -6},
                                               {cx - half, 3.2, -6}}});
      bool visible = true, hidden = false;
      for (const Point& corner : cell) visible = visible && frame_.contains(corner, 1);
      for (const Quad& q : crowdQuads_)
        for (const Point& corner : cell) hidden = hidden || inside(q, corner);
      if (!visible || hidden) continue;
      if (c != ' ' && c != '|') {
        int white = 0, total = 0;
        for (double u = 0.05; u < 1; u += 0.05)
          for (double v = 0.05; v < 1; v += 0.05) {
            const Point p = camera_.project(cx - half + 2 * half * u, 3.2 + 1.6 * v, -6);
            const auto px = frame_.rgb(p);
            white += px[0] > 200 && px[1] > 200 && px[2] > 200;
            ++total;
          }
        EXPECT_GT(white, c == '.' ? total / 50 : total / 10) << "'" << c << "' in cell " << i << " at t=" << t;
        ++letters;
      } else if (c == ' ') {  // word gaps are a whole cell: its middle holds no ink
        const Point p = camera_.project(cx, 4.0, -6);
        const auto px = frame_.rgb(p);
        EXPECT_FALSE(px[0] > 230 && px[1] > 230 && px[2] > 230) << "ink in empty cell " << i << " at t=" << t;
        ++spaces;
      }
    }
  }
  EXPECT_GT(letters, 20);
  EXPECT_GT(spaces, 0);
}

// Opaque, evenly coloured texels of a sprite image show on screen where the sprite stands,
// unless a nearer sprite covers them.
// `radius` keeps the texels clear of edges by more than one screen pixel's worth of texels.
void expectSpriteShows(const Frame& frame, const Camera& camera, const std::vector<Sprite>& crowd, size_t index,
                       const Image& image, int radius, int& checked) {
  std::vector<Quad> nearer;
  for (size_t j = index + 1; j < crowd.size(); ++j) nearer.push_back(camera.projectQuad(crowd[j].corners()));
  for (int row = radius; row < image.pixelsHigh - radius; row += 6)
    for (int col = radius; col < image.pixelsWide - radius; col += 6) {
      auto at = [&](int r, int c) { return &image.pixels[r * image.bytesPerRow + c * 4]; };
      bool even = true;
      for (int dr = -radius; dr <= radius && even; ++dr)
        for (int dc = -radius; dc <= radius && even; ++dc) {
          const uint8_t* p = at(row + dr, col + dc);
          const uint8_t* q = at(row, col);
          even = p[3] == 255 && std::abs(p[0] - q[0]) < 12 && std::abs(p[1] - q[1]) < 12 && std::abs(p[2] - q[2]) < 12;
        }
      if (!even) continue;
      const double u = (col + 0.5) / image.pixelsWide, v = 1.0 - (row + 0.5) / image.pixelsHigh;
      const auto w = crowd[index].world(u, v);
      const Point p = camera.project(w[0], w[1], w[2]);
      if (!frame.contains(p, 1) || insideAny(nearer, p)) continue;
      const uint8_t* texel = at(row, col);
      const auto got = frame.rgb(p);
      EXPECT_TRUE(near(got, {texel[0], texel[1], texel[2]}, 40))
          << "sprite " << index << " texel " << col << "," << row << " at " << p.x << "," << p.y << " got " << got[0]
          << "," << got[1] << "," << got[2] << " want " << int(texel[0]) << "," << int(texel[1]) << ","
          << int(texel[2]);
      ++checked;
    }
}

TEST_F(GoldenFrames, LogoStandsAtTheCentreAndDancersWhereTheRingPutsThem) {
  const auto dancer = decodeImage(resourceFolder() + "/nine.png");
  const auto logo = decodeImage(resourceFolder() + "/vexlogo.png");
  ASSERT_TRUE(dancer && logo && dancer->hasAlpha && logo->hasAlpha);
  for (double t : {0.0, 2.6, 4.45}) {
    renderAt(t);
    const auto crowd = crowdAt(b_);
    int logoTexels = 0, dancerTexels = 0;
    for (size_t i = 0; i < crowd.size(); ++i) {
      if (crowd[i].textureNumber == 1) expectSpriteShows(frame_, camera_, crowd, i, *logo, 6, logoTexels);
      else expectSpriteShows(frame_, camera_, crowd, i, *dancer, 12, dancerTexels);
    }
    EXPECT_GT(logoTexels, 20) << "t=" << t;
    EXPECT_GT(dancerTexels, 20) << "t=" << t;
  }
}

// A change in look shows up here: the whole frame against a reference made by
// tools/make-golden-reference.sh (disco-capture --size 320x180 --seed 7 --time 12.5).
TEST(GoldenReference, WholeFrameMatchesTheReferenceWithinATolerance) {
  auto gl = OffscreenGL::create(320, 180);
  ASSERT_NE(gl, nullptr);
  FrameCapture capture(Rect{0, 0, 320, 180}, 7);
  capture.renderAt(12.5);
  const std::vector<uint8_t>& got = gl->readFrame();
  const auto reference = decodeImage(GOLDEN_REFERENCE);
  ASSERT_TRUE(reference);
  ASSERT_EQ(reference->pixelsWide, 320);
  ASSERT_EQ(reference->pixelsHigh, 180);
  const int channels = reference->hasAlpha ? 4 : 3;
  double sum = 0;
  int far = 0;
  for (int y = 0; y < 180; ++y)
    for (int x = 0; x < 320; ++x)
      for (int c = 0; c < 3; ++c) {
        const int diff = std::abs(got[(y * 320 + x) * 4 + c] - reference->pixels[y * reference->bytesPerRow + x * channels + c]);
        sum += diff;
        far += diff > 48;
      }
  EXPECT_LT(sum / (320 * 180 * 3), 2.0);
  EXPECT_LT(far, 320 * 180 * 3 / 100);
}

}  // namespace
