#pragma once

#include <GL/gl.h>

// One textured quad facing +z, corners top-left, top-right, bottom-right, bottom-left; texture
// columns u0..u1 across, t from 1 at the top to 0 at the bottom. The caller sets the colour.
inline void drawSpriteQuad(float u0, float u1, float left, float right, float bottom, float top) {
  glBegin(GL_QUADS);
  glTexCoord2f(u0, 1.0f);
  glVertex3f(left, top, 0.0f);
  glTexCoord2f(u1, 1.0f);
  glVertex3f(right, top, 0.0f);
  glTexCoord2f(u1, 0.0f);
  glVertex3f(right, bottom, 0.0f);
  glTexCoord2f(u0, 0.0f);
  glVertex3f(left, bottom, 0.0f);
  glEnd();
}
