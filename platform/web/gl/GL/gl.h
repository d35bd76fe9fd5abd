// The GL header the browser build compiles against: GL's types and names, with every GL 1.x
// call the scene makes routed to the layer in platform/web/gl1/, which draws them with WebGL.
// Code of the layer's own that calls WebGL defines DISCO_WEB_REAL_GL first.
#pragma once

#include_next <GL/gl.h>

#ifndef DISCO_WEB_REAL_GL
#ifdef __cplusplus
extern "C" {
#endif
void discoEnable(GLenum cap);
void discoDisable(GLenum cap);
void discoBlendFunc(GLenum source, GLenum destination);
void discoShadeModel(GLenum);
void discoMaterialfv(GLenum, GLenum, const GLfloat*);
void discoMatrixMode(GLenum mode);
void discoLoadIdentity(void);
void discoPushMatrix(void);
void discoPopMatrix(void);
void discoTranslatef(GLfloat x, GLfloat y, GLfloat z);
void discoTranslated(GLdouble x, GLdouble y, GLdouble z);
void discoRotatef(GLfloat degrees, GLfloat x, GLfloat y, GLfloat z);
void discoScalef(GLfloat x, GLfloat y, GLfloat z);
void discoMultMatrixf(const GLfloat* m);
void discoMultMatrixd(const GLdouble* m);
void discoBegin(GLenum mode);
void discoEnd(void);
void discoColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);
void discoColor3f(GLfloat red, GLfloat green, GLfloat blue);
void discoTexCoord2f(GLfloat s, GLfloat t);
void discoTexCoord2d(GLdouble s, GLdouble t);
void discoVertex3f(GLfloat x, GLfloat y, GLfloat z);
void discoGenTextures(GLsizei count, GLuint* names);
void discoBindTexture(GLenum target, GLuint texture);
void discoPixelStorei(GLenum name, GLint value);
void discoTexParameteri(GLenum target, GLenum name, GLint value);
void discoTexEnvf(GLenum, GLenum, GLfloat);
void discoTexImage2D(GLenum target, GLint level, GLint, GLsizei width, GLsizei height, GLint, GLenum format, GLenum type, const void* pixels);
void discoClearColor(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);
void discoClear(GLbitfield mask);
void discoViewport(GLint x, GLint y, GLsizei width, GLsizei height);
void discoGetIntegerv(GLenum name, GLint* values);
void discoFinish(void);
void discoFlush(void);
#ifdef __cplusplus
}
#endif

#define glEnable discoEnable
#define glDisable discoDisable
#define glBlendFunc discoBlendFunc
#define glShadeModel discoShadeModel
#define glMaterialfv discoMaterialfv
#define glMatrixMode discoMatrixMode
#define glLoadIdentity discoLoadIdentity
#define glPushMatrix discoPushMatrix
#define glPopMatrix discoPopMatrix
#define glTranslatef discoTranslatef
#define glTranslated discoTranslated
#define glRotatef discoRotatef
#define glScalef discoScalef
#define glMultMatrixf discoMultMatrixf
#define glMultMatrixd discoMultMatrixd
#define glBegin discoBegin
#define glEnd discoEnd
#define glColor4f discoColor4f
#define glColor3f discoColor3f
#define glTexCoord2f discoTexCoord2f
#define glTexCoord2d discoTexCoord2d
#define glVertex3f discoVertex3f
#define glGenTextures discoGenTextures
#define glBindTexture discoBindTexture
#define glPixelStorei discoPixelStorei
#define glTexParameteri discoTexParameteri
#define glTexEnvf discoTexEnvf
#define glTexImage2D discoTexImage2D
#define glClearColor discoClearColor
#define glClear discoClear
#define glViewport discoViewport
#define glGetIntegerv discoGetIntegerv
#define glFinish discoFinish
#define glFlush discoFlush
#endif
