#include "objects/Ventjes.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "objects/Dancer.h"
#include "objects/Scroller.h"
#include "objects/SpriteQuad.h"
#include "platform/ResourceFolder.h"
#include "support/Log.h"
#include "support/OpenGLTexture.h"

namespace {

enum TextureNumber { kDancerTexture = 0, kLogoTexture = 1, kDiscTexture = 2, kFontTexture = 3 };

// The discs, largest and farthest first: disc n (4 down to 1) is 4 (n + 1) units square and
// wanders over +-n units along a Lissajous path; the larger the disc, the slower it goes.
constexpr int kDiscCount = 4;
constexpr double kDiscRate = 0.6;          // of the phase, before each disc's own divisor
constexpr int kDiscXDivisor = 20;          // x divisor of disc 1, ...
constexpr int kDiscXDivisorStep = 3;       // ... 3 more for each larger disc
constexpr int kDiscYDivisor = 23;          // y divisor of disc 1, ...
constexpr double kDiscYDivisorStep = 0.5;  // ... 0.5 more for each larger disc
constexpr double kDiscDepth = 7.0;         // disc 1 at z = -7, behind the scroller at -6 ...
constexpr double kDiscDepthDivisor = -20.0;  // ... each larger disc 1/20 unit farther back
constexpr float kDiscHalfSide = 2.0f;      // of the quad before the disc's scale

// Tint of disc n in row n - 1.
constexpr float kDiscColours[kDiscCount][3] = {
    {0.8f, 0.4f, 1.0f},
    {1.0f, 0.6f, 0.0f},
    {1.0f, 1.0f, 0.4f},
    {0.8f, 1.0f, 0.0f},
};

constexpr int kRingSize = 18;
constexpr int kRingSpacingDegrees = 20;    // between neighbours
static_assert(kRingSize * kRingSpacingDegrees == 360, "the dancers close the ring");
constexpr double kDegreesPerTurn = 360.0;
constexpr double kTwoPi = 6.283185308;     // to ten digits: every dancer position rests on this value
constexpr double kRingRadius = 4.5;        // stands on the 10 x 10 floor
constexpr double kSwingDivisor = 12.5;     // a hop every 12.5 pi / 60 = 0.654 s
constexpr float kDancerScale = 0.3f;       // 1.2 x 1.8 units
constexpr float kLogoScaleX = 0.8f;        // 3.2 x 6 units
constexpr float kLogoScaleY = 1.0f;
constexpr float kTiltDegrees = 20.0f;      // at the top of a hop
constexpr float kFigureHalfWidth = 2.0f;   // the dancer and logo quad, standing on its bottom edge
constexpr float kFigureHeight = 6.0f;

}  // namespace

Ventjes::Ventjes() = default;
Ventjes::~Ventjes() = default;

void Ventjes::prepare() {
  if (!m_texture) {
    Log("Ventjes");
    const std::string folder = resourceFolder();
    m_texture = std::make_unique<OpenGLTexture>();
    m_texture->loadTexture(folder + "/nine.png", kDancerTexture);
    m_texture->loadTexture(folder + "/vexlogo.png", kLogoTexture);
    m_texture->loadTexture(folder + "/round.png", kDiscTexture);
    m_texture->loadTexture(folder + "/font.png", kFontTexture);
  }
  setAnimation(0.0f, 0.0f, 0);
}

void Ventjes::setAnimation(float bounce_, float scrollcalc_, int32_t scrollpos_) {
  bounce = bounce_;
  scrollcalc = scrollcalc_;
  scrollpos = scrollpos_;
}

GLuint Ventjes::textureName(int number) const { return m_texture ? m_texture->getTextureName(number) : 0; }

void Ventjes::passFrame() { passScrollLine(scrollpos); }

void Ventjes::render() {
  const float b = bounce;
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

  drawDiscs(b);
  drawScrollLine(textureName(kFontTexture), scrollpos, scrollcalc);
  drawCrowd(b);

  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
}

void Ventjes::drawDiscs(float b) const {
  const double phase = static_cast<double>(b);
  for (int n = kDiscCount; n >= 1; --n) {
    const double dx = n * std::sin(kDiscRate * phase / (kDiscXDivisorStep * (n - 1) + kDiscXDivisor));
    const double dy = n * std::cos(kDiscRate * phase / (kDiscYDivisorStep * (n - 1) + kDiscYDivisor));
    const double dz = (n - 1) / kDiscDepthDivisor - kDiscDepth;
    const float size = static_cast<float>(n + 1);
    const float* colour = kDiscColours[n - 1];

    glPushMatrix();
    glTranslatef(static_cast<float>(dx), static_cast<float>(dy), static_cast<float>(dz));
    glScalef(size, size, 1.0f);
    glBindTexture(GL_TEXTURE_2D, textureName(kDiscTexture));
    glColor4f(colour[0], colour[1], colour[2], 1.0f);
    drawSpriteQuad(0.0f, 1.0f, -kDiscHalfSide, kDiscHalfSide, -kDiscHalfSide, kDiscHalfSide);
    glPopMatrix();
  }
}

// The ring of dancers turning around the logo, sorted far to near. All dancers hop and rock
// in unison: the swing s gives the tilt, abs(s) the hop.
void Ventjes::drawCrowd(float b) const {
  const float s = sinf(static_cast<float>(b / kSwingDivisor));
  const float h = s < 0.0f ? 0.0f - s : s;

  std::vector<dancer> crowd;
  crowd.reserve(kRingSize + 1);
  for (int k = 0; k < kRingSize; ++k) {
    const float degrees = static_cast<float>(kRingSpacingDegrees * k) + b;
    const double a = static_cast<double>(degrees) / kDegreesPerTurn * kTwoPi;
    crowd.push_back(dancer{static_cast<float>(kRingRadius * std::sin(a)),
                           static_cast<float>(kRingRadius * std::cos(a)), h, s, kDancerScale, kDancerScale,
                           kDancerTexture});
  }
  crowd.push_back(dancer{0.0f, 0.0f, 0.0f, 0.0f, kLogoScaleX, kLogoScaleY, kLogoTexture});
  std::sort(crowd.begin(), crowd.end(), MyDataSortPredicate);

  for (const dancer& d : crowd) {
    glPushMatrix();
    glTranslatef(d.x, d.height, d.depth);
    glScalef(d.scaleX, d.scaleY, 1.0f);
    glRotatef(d.tilt * kTiltDegrees, 0.0f, 0.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, textureName(d.textureNumber));
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    drawSpriteQuad(0.0f, 1.0f, -kFigureHalfWidth, kFigureHalfWidth, 0.0f, kFigureHeight);
    glPopMatrix();
  }
}
