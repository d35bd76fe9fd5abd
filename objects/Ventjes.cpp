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

constexpr double kBounceRate = 60.0;      // per second; read as degrees by the ring's turn
constexpr float kBounceWrap = 36000.0f;   // a whole number of turns
constexpr double kScrollRate = 4.0;       // cells per second

// Tint of disc n in row n - 1.
constexpr float kDiscColours[4][3] = {
    {0.8f, 0.4f, 1.0f},
    {1.0f, 0.6f, 0.0f},
    {1.0f, 1.0f, 0.4f},
    {0.8f, 1.0f, 0.0f},
};

constexpr int kRingSize = 18;
constexpr double kRingRadius = 4.5;
constexpr float kDancerScale = 0.3f;       // 1.2 x 1.8 units
constexpr float kLogoScaleX = 0.8f;        // 3.2 x 6 units
constexpr float kLogoScaleY = 1.0f;
constexpr float kTiltDegrees = 20.0f;      // at the top of a hop

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

void Ventjes::updateWithDiffTime(float dt) {
  bounce = static_cast<float>(static_cast<double>(bounce) + static_cast<double>(dt) * kBounceRate);
  if (bounce > kBounceWrap) bounce -= kBounceWrap;  // once: a huge step stays above
  scrollcalc = static_cast<float>(static_cast<double>(scrollcalc) + static_cast<double>(dt) * kScrollRate);
  if (scrollcalc >= 1.0f) {  // at most one cell per update; a long step catches up over several
    ++scrollpos;
    scrollcalc -= 1.0f;
  }
}

GLuint Ventjes::textureName(int number) const { return m_texture ? m_texture->getTextureName(number) : 0; }

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

// Largest and farthest first: each disc n wanders over +-n units along a Lissajous path.
void Ventjes::drawDiscs(float b) const {
  const double phase = static_cast<double>(b);
  for (int n = 4; n >= 1; --n) {
    const double dx = n * std::sin(0.6 * phase / (3 * (n - 1) + 20));
    const double dy = n * std::cos(0.6 * phase / (0.5 * (n - 1) + 23));
    const double dz = (n - 1) / -20.0 - 7.0;
    const float size = static_cast<float>(n + 1);
    const float* colour = kDiscColours[n - 1];

    glPushMatrix();
    glTranslatef(static_cast<float>(dx), static_cast<float>(dy), static_cast<float>(dz));
    glScalef(size, size, 1.0f);
    glBindTexture(GL_TEXTURE_2D, textureName(kDiscTexture));
    glColor4f(colour[0], colour[1], colour[2], 1.0f);
    drawSpriteQuad(0.0f, 1.0f, -2.0f, 2.0f, -2.0f, 2.0f);
    glPopMatrix();
  }
}

// The ring of dancers turning around the logo, sorted far to near. All dancers hop and rock
// in unison: the swing s gives the tilt, abs(s) the hop.
void Ventjes::drawCrowd(float b) const {
  const float s = sinf(static_cast<float>(b / 12.5));
  const float h = s < 0.0f ? 0.0f - s : s;

  std::vector<dancer> crowd;
  crowd.reserve(kRingSize + 1);
  for (int k = 0; k < kRingSize; ++k) {
    const float degrees = static_cast<float>(20 * k) + b;
    const double a = static_cast<double>(degrees) / 360.0 * 6.283185308;
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
    drawSpriteQuad(0.0f, 1.0f, -2.0f, 2.0f, 0.0f, 6.0f);
    glPopMatrix();
  }
}
