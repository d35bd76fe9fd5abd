// Immediate mode for emscripten's GL emulation, which takes the vertex layout from the first vertex
// of a glBegin: a colour or texture coordinate given once per quad would garble the rest. Here
// every vertex carries the current colour and texture coordinate, as desktop GL gives them.
#define DISCO_WEB_REAL_GL
#include <GL/gl.h>

#include "platform/web/Texturing.h"

namespace {
GLfloat colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
GLfloat texCoord[2] = {0.0f, 0.0f};
}  // namespace

extern "C" {

void discoBegin(GLenum mode) {
  web::applyTexturing();
  glBegin(mode);
}

void discoEnd(void) { glEnd(); }

void discoColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
  colour[0] = red;
  colour[1] = green;
  colour[2] = blue;
  colour[3] = alpha;
}

void discoColor3f(GLfloat red, GLfloat green, GLfloat blue) { discoColor4f(red, green, blue, 1.0f); }

void discoTexCoord2f(GLfloat s, GLfloat t) {
  texCoord[0] = s;
  texCoord[1] = t;
}

void discoTexCoord2d(GLdouble s, GLdouble t) { discoTexCoord2f(static_cast<GLfloat>(s), static_cast<GLfloat>(t)); }

void discoVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  glColor4f(colour[0], colour[1], colour[2], colour[3]);
  glTexCoord2f(texCoord[0], texCoord[1]);
  glVertex3f(x, y, z);
}

}  // extern "C"
