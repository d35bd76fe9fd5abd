#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <memory>

class OpenGLTexture;

// The backdrop discs, the text scroller and the ring of dancers around the logo. Everything
// follows from the phase `bounce` (60 per second) and the scroll state; nothing is random.
class Ventjes {
 public:
  Ventjes();
  ~Ventjes();
  Ventjes(const Ventjes&) = delete;
  Ventjes& operator=(const Ventjes&) = delete;

  // First call: logs "Ventjes" and loads the four images. Every call restarts the animation.
  void prepare();
  static constexpr double kBounceRate = 60.0;     // per second; read as degrees by the ring's turn
  static constexpr float kBounceWrap = 36000.0f;  // a whole number of turns
  static constexpr double kScrollRate = 4.0;      // cells per second

  // Advances the discs and the crowd by dt * 60 and the scroller by dt * 4 cells.
  void updateWithDiffTime(float dt) { advance(bounce, scrollcalc, scrollpos, dt); }
  // The same on values of one's own, for stepping many updates without the object.
  static void advance(float& bounce, float& scrollcalc, int32_t& scrollpos, float dt) {
    bounce = static_cast<float>(static_cast<double>(bounce) + static_cast<double>(dt) * kBounceRate);
    if (bounce > kBounceWrap) bounce -= kBounceWrap;  // once: a huge step stays above
    scrollcalc = static_cast<float>(static_cast<double>(scrollcalc) + static_cast<double>(dt) * kScrollRate);
    if (scrollcalc >= 1.0f) {  // at most one cell per update; a long step catches up over several
      ++scrollpos;
      scrollcalc -= 1.0f;
    }
  }
  // Discs, scroller, then the crowd far to near. May restart the scroller at its end marker.
  void render();
  // What render() does to the animation, without drawing: a frame that is stepped over.
  void passFrame();

  float getBounce() const { return bounce; }
  float getScrollcalc() const { return scrollcalc; }
  int32_t getScrollpos() const { return scrollpos; }
  // The texture registry; null until the first prepare.
  OpenGLTexture* getTextures() const { return m_texture.get(); }
  // Puts the animation at a chosen phase, as updates would have (frame capture, tests).
  void setAnimation(float bounce, float scrollcalc, int32_t scrollpos);

 private:
  // The GL name of one of the four textures; 0 before prepare.
  GLuint textureName(int number) const;
  void drawDiscs(float b) const;
  void drawCrowd(float b) const;

  std::unique_ptr<OpenGLTexture> m_texture;
  float bounce = 0.0f;      // grows by 60 per second, wrapped at 36000
  float scrollcalc = 0.0f;  // fraction of a cell the line has moved past scrollpos
  int32_t scrollpos = 0;    // message index shown in the scroller's first cell
};
