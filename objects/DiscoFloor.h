#pragma once

#include <memory>
#include <vector>

#include "objects/SceneObject.h"

class OpenGLTexture;

// A sizeW x sizeH grid of 1 x 1 textured tiles in the plane y = 0, each tinted with a fully
// saturated colour; every 0.4 s all tiles take new random hues at once.
class DiscoFloor : public SceneObject {
 public:
  static constexpr int kTileTexture = 12;  // the tile's number in the floor's own registry

  // Seeds the process-wide rand() from the calendar clock and draws one hue per tile.
  DiscoFloor(int sizeW, int sizeH);
  // The same with a chosen seed, so that the colours can be repeated.
  DiscoFloor(int sizeW, int sizeH, unsigned int seed);
  ~DiscoFloor();
  DiscoFloor(const DiscoFloor&) = delete;
  DiscoFloor& operator=(const DiscoFloor&) = delete;

  // Loads the tile texture into the current GL context; later calls do nothing.
  void prepare();
  void updateWithDiffTime(float dt);
  // Draws the tiles inside the caller's transform. Leaves the last tile's colour current, the
  // alpha blend function set and the tile texture bound (texturing and blending disabled).
  void render();

  int getSizeW() const { return sizeW; }
  int getSizeH() const { return sizeH; }
  float getChangeTime() const { return changeTime; }
  // Per tile, element x + z * sizeW.
  const std::vector<float>& getHues() const { return hue; }
  const std::vector<float>& getBrightness() const { return brightness; }
  OpenGLTexture* getTextures() const { return m_texture.get(); }

 private:
  void drawRandomHues();

  std::unique_ptr<OpenGLTexture> m_texture;
  std::vector<float> brightness;  // HSV value per tile: always 1
  std::vector<float> hue;         // degrees, 0 to 360
  int sizeW = 0;
  int sizeH = 0;
  float changeTime = 0.0f;  // seconds since the hues last changed
};
