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
  // Advances the discs and the crowd by dt * 60 and the scroller by dt * 4 cells.
  void updateWithDiffTime(float dt);
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
