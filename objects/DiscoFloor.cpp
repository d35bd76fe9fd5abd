#include "objects/DiscoFloor.h"

#include <GL/gl.h>

#include <algorithm>
#include <ctime>

#include "objects/HSVtoRGB.h"
#include "platform/ResourceFolder.h"
#include "support/Log.h"
#include "support/OpenGLTexture.h"

namespace {
constexpr const char* kTileImage = "/tile.png";
constexpr float kSaturation = 1.0f;

// One random number turned into degrees: r x 2^-31 x 360 in single precision. The 64 largest
// values of r round to 2^31 as floats and give exactly 360.
float hueOf(int r) { return static_cast<float>(r) * 0x1p-31f * 360.0f; }
}  // namespace

DiscoFloor::DiscoFloor(int sizeW_, int sizeH_)
    : DiscoFloor(sizeW_, sizeH_, static_cast<unsigned int>(std::time(nullptr))) {}

DiscoFloor::DiscoFloor(int sizeW_, int sizeH_, unsigned int seed) : random(seed), sizeW(sizeW_), sizeH(sizeH_) {
  // A negative count draws no tiles, so it needs no storage either.
  const size_t tiles = static_cast<size_t>(std::max(0, sizeW)) * static_cast<size_t>(std::max(0, sizeH));
  brightness.assign(tiles, 1.0f);
  hue.resize(tiles);
  drawRandomHues();
}

DiscoFloor::~DiscoFloor() = default;

void DiscoFloor::drawRandomHues() {
  for (float& h : hue) h = hueOf(random.next());  // element order: z outer, x inner
}

void DiscoFloor::restart(unsigned int seed) {
  random.reseed(seed);
  drawRandomHues();
  changeTime = 0.0f;
  changes = 0;
}

void DiscoFloor::setTiming(float changeTime_, uint64_t changes_) {
  if (changes_ > changes) {
    random.skip((changes_ - changes - 1) * hue.size());  // only the last change shows
    drawRandomHues();
    changes = changes_;
  }
  changeTime = changeTime_;
}

void DiscoFloor::prepare() {
  if (m_texture) return;
  Log("DiscoFloor");
  m_texture = std::make_unique<OpenGLTexture>();
  m_texture->loadTexture(resourceFolder() + kTileImage, kTileTexture);  // without it: plain quads
}

void DiscoFloor::updateWithDiffTime(float dt) {
  if (!passTime(changeTime, dt)) return;
  ++changes;
  drawRandomHues();
}

void DiscoFloor::render() {
  glPushMatrix();
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glBindTexture(GL_TEXTURE_2D, m_texture ? m_texture->getTextureName(kTileTexture) : 0);
  // Integer halves: an odd size is not centred (11 tiles span -5 to 6).
  glTranslatef(static_cast<float>(-sizeW / 2), 0.0f, static_cast<float>(-sizeH / 2));

  for (int z = 0; z < sizeH; ++z)
    for (int x = 0; x < sizeW; ++x) {
      const size_t tile = static_cast<size_t>(x) + static_cast<size_t>(z) * sizeW;
      float red, green, blue;
      HSVtoRGB(&red, &green, &blue, hue[tile], kSaturation, brightness[tile]);
      const float x0 = static_cast<float>(x), z0 = static_cast<float>(z);
      // Counter-clockwise seen from above; the picture's top (t = 1) along the edge at x0.
      glBegin(GL_QUADS);
      glColor3f(red, green, blue);
      glTexCoord2d(0, 1);
      glVertex3f(x0, 0.0f, z0);
      glTexCoord2d(1, 1);
      glVertex3f(x0, 0.0f, z0 + 1.0f);
      glTexCoord2d(1, 0);
      glVertex3f(x0 + 1.0f, 0.0f, z0 + 1.0f);
      glTexCoord2d(0, 0);
      glVertex3f(x0 + 1.0f, 0.0f, z0);
      glEnd();
    }

  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glPopMatrix();
}
