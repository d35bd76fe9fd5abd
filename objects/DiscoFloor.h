#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "objects/FloorRandom.h"
#include "objects/SceneObject.h"

class OpenGLTexture;

// A sizeW x sizeH grid of 1 x 1 textured tiles in the plane y = 0, each tinted with a fully
// saturated colour; every 0.4 s all tiles take new random hues at once. The hues come from the
// floor's own generator, the numbers rand() gives after srand(seed).
class DiscoFloor : public SceneObject {
 public:
  static constexpr int kTileTexture = 12;  // the tile's number in the floor's own registry

  static constexpr double kChangePeriod = 0.4;  // seconds; compared in double

  // Seeded from the calendar clock; draws one hue per tile.
  DiscoFloor(int sizeW, int sizeH);
  // The same with a chosen seed, so that the colours can be repeated.
  DiscoFloor(int sizeW, int sizeH, unsigned int seed);
  ~DiscoFloor();
  DiscoFloor(const DiscoFloor&) = delete;
  DiscoFloor& operator=(const DiscoFloor&) = delete;

  // Loads the tile texture into the current GL context; later calls do nothing.
  void prepare();
  void updateWithDiffTime(float dt);
  // One update's timing: adds dt and tells whether the hues change now (the time then starts
  // again from 0; what lies beyond the period is dropped, not carried over).
  static bool passTime(float& changeTime, float dt) {
    changeTime += dt;
    if (static_cast<double>(changeTime) < kChangePeriod) return false;
    changeTime = 0.0f;
    return true;
  }
  // Back to the colours a new floor with this seed has, and no time since they were drawn.
  void restart(unsigned int seed);
  // Puts the floor where updates would have: `changes` changes of hue since it was seeded (no
  // fewer than it has had) and `changeTime` since the last. Skips the numbers in between.
  void setTiming(float changeTime, uint64_t changes);
  // Draws the tiles inside the caller's transform. Leaves the last tile's colour current, the
  // alpha blend function set and the tile texture bound (texturing and blending disabled).
  void render();

  int getSizeW() const { return sizeW; }
  int getSizeH() const { return sizeH; }
  float getChangeTime() const { return changeTime; }
  // Changes of hue since the floor was seeded.
  uint64_t getChanges() const { return changes; }
  // Per tile, element x + z * sizeW.
  const std::vector<float>& getHues() const { return hue; }
  const std::vector<float>& getBrightness() const { return brightness; }
  OpenGLTexture* getTextures() const { return m_texture.get(); }

 private:
  void drawRandomHues();

  std::unique_ptr<OpenGLTexture> m_texture;
  FloorRandom random;
  std::vector<float> brightness;  // HSV value per tile: always 1
  std::vector<float> hue;         // degrees, 0 to 360
  int sizeW = 0;
  int sizeH = 0;
  float changeTime = 0.0f;  // seconds since the hues last changed
  uint64_t changes = 0;
};
