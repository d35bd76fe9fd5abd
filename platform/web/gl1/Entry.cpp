// The GL 1.x calls the scene makes, as the browser build's GL header names them, handed to the layer.
#include <GL/gl.h>

#include "platform/web/gl1/Layer.h"
#include "platform/web/gl1/WebGLRenderer.h"

namespace gl1 {
namespace {
std::unique_ptr<FixedFunction> current;
}  // namespace

FixedFunction& layer() {
  if (!current) current = std::make_unique<FixedFunction>(std::make_unique<WebGLRenderer>());
  return *current;
}

void useBackend(std::unique_ptr<Backend> backend) { current = std::make_unique<FixedFunction>(std::move(backend)); }

}  // namespace gl1

using gl1::layer;

extern "C" {

void discoEnable(GLenum cap) { layer().setEnabled(cap, true); }
void discoDisable(GLenum cap) { layer().setEnabled(cap, false); }
void discoBlendFunc(GLenum source, GLenum destination) { layer().blendFunc(source, destination); }
void discoShadeModel(GLenum) {}                            // every colour is per vertex already
void discoMaterialfv(GLenum, GLenum, const GLfloat*) {}    // no lighting

void discoMatrixMode(GLenum mode) { layer().matrixMode(mode); }
void discoLoadIdentity(void) { layer().loadIdentity(); }
void discoPushMatrix(void) { layer().pushMatrix(); }
void discoPopMatrix(void) { layer().popMatrix(); }
void discoTranslatef(GLfloat x, GLfloat y, GLfloat z) { layer().translate(x, y, z); }
void discoTranslated(GLdouble x, GLdouble y, GLdouble z) {
  layer().translate(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}
void discoRotatef(GLfloat degrees, GLfloat x, GLfloat y, GLfloat z) { layer().rotate(degrees, x, y, z); }
void discoScalef(GLfloat x, GLfloat y, GLfloat z) { layer().scale(x, y, z); }
void discoMultMatrixf(const GLfloat* m) {
  gl1::Matrix matrix;
  for (int i = 0; i < 16; ++i) matrix.m[i] = m[i];
  layer().multMatrix(matrix);
}
void discoMultMatrixd(const GLdouble* m) {
  gl1::Matrix matrix;
  for (int i = 0; i < 16; ++i) matrix.m[i] = static_cast<float>(m[i]);
  layer().multMatrix(matrix);
}

void discoBegin(GLenum mode) { layer().begin(mode); }
void discoEnd(void) { layer().end(); }
void discoColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) { layer().colour(red, green, blue, alpha); }
void discoColor3f(GLfloat red, GLfloat green, GLfloat blue) { layer().colour(red, green, blue, 1.0f); }
void discoTexCoord2f(GLfloat s, GLfloat t) { layer().texCoord(s, t); }
void discoTexCoord2d(GLdouble s, GLdouble t) { layer().texCoord(static_cast<float>(s), static_cast<float>(t)); }
void discoVertex3f(GLfloat x, GLfloat y, GLfloat z) { layer().vertex(x, y, z); }

void discoGenTextures(GLsizei count, GLuint* names) { layer().genTextures(count, names); }
void discoBindTexture(GLenum target, GLuint texture) { layer().bindTexture(target, texture); }
void discoPixelStorei(GLenum name, GLint value) { layer().pixelStore(name, value); }
void discoTexParameteri(GLenum target, GLenum name, GLint value) { layer().texParameter(target, name, value); }
void discoTexEnvf(GLenum, GLenum, GLfloat) {}  // textures always modulate the colour
void discoTexImage2D(GLenum target, GLint level, GLint, GLsizei width, GLsizei height, GLint, GLenum format,
                     GLenum type, const void* pixels) {
  layer().texImage(target, level, width, height, format, type, pixels);
}

void discoClearColor(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
  layer().clearColour(red, green, blue, alpha);
}
void discoClear(GLbitfield mask) { layer().clear(mask); }
void discoViewport(GLint x, GLint y, GLsizei width, GLsizei height) { layer().viewport(x, y, width, height); }
void discoGetIntegerv(GLenum name, GLint* values) { layer().getIntegerv(name, values); }
void discoFinish(void) { layer().finish(); }
void discoFlush(void) { layer().flush(); }

}  // extern "C"
