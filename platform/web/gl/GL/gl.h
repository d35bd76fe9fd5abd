// The GL header the browser build compiles against: emscripten's, plus the calls its fixed-function
// emulation gets wrong, routed through platform/web/ImmediateMode.cpp and TextureUpload.cpp.
#pragma once

#include_next <GL/gl.h>

#ifndef DISCO_WEB_REAL_GL
#ifdef __cplusplus
extern "C" {
#endif
void discoBegin(GLenum mode);
void discoEnd(void);
void discoColor3f(GLfloat red, GLfloat green, GLfloat blue);
void discoColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);
void discoTexCoord2f(GLfloat s, GLfloat t);
void discoTexCoord2d(GLdouble s, GLdouble t);
void discoVertex3f(GLfloat x, GLfloat y, GLfloat z);
void discoEnable(GLenum cap);
void discoDisable(GLenum cap);
void discoBindTexture(GLenum target, GLuint texture);
void discoPixelStorei(GLenum name, GLint value);
void discoTexParameteri(GLenum target, GLenum name, GLint value);
void discoTexEnvf(GLenum target, GLenum name, GLfloat value);
void discoTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                     GLint border, GLenum format, GLenum type, const void* pixels);
#ifdef __cplusplus
}
#endif

#define glBegin discoBegin
#define glEnd discoEnd
#define glColor3f discoColor3f
#define glColor4f discoColor4f
#define glTexCoord2f discoTexCoord2f
#define glTexCoord2d discoTexCoord2d
#define glVertex3f discoVertex3f
#define glEnable discoEnable
#define glDisable discoDisable
#define glBindTexture discoBindTexture
#define glPixelStorei discoPixelStorei
#define glTexParameteri discoTexParameteri
#define glTexEnvf discoTexEnvf
#define glTexImage2D discoTexImage2D
#endif
