// The GL header the browser build compiles against: GL's types and the names the scene uses, with
// every GL 1.x call it makes routed to the layer in platform/web/gl1/, which draws them with WebGL.
// It is closed: a GL call the layer does not carry has no declaration here and fails to compile,
// rather than reaching WebGL beside the layer with the layer's texture names. Code of the layer's
// own that calls WebGL defines DISCO_WEB_REAL_GL first and gets the platform's header instead.
#pragma once

#ifdef DISCO_WEB_REAL_GL
#include_next <GL/gl.h>
#else

typedef unsigned int GLenum;
typedef unsigned char GLboolean;
typedef unsigned int GLbitfield;
typedef void GLvoid;
typedef signed char GLbyte;
typedef short GLshort;
typedef int GLint;
typedef unsigned char GLubyte;
typedef unsigned short GLushort;
typedef unsigned int GLuint;
typedef int GLsizei;
typedef float GLfloat;
typedef float GLclampf;
typedef double GLdouble;
typedef double GLclampd;

#ifndef GLAPI
#define GLAPI extern
#endif
#ifndef GLAPIENTRY
#define GLAPIENTRY
#endif
#ifndef APIENTRY
#define APIENTRY GLAPIENTRY
#endif

#define GL_FALSE 0
#define GL_TRUE 1
#define GL_NO_ERROR 0
#define GL_ZERO 0
#define GL_ONE 1
#define GL_SRC_ALPHA 0x0302
#define GL_ONE_MINUS_SRC_ALPHA 0x0303
#define GL_DEPTH_BUFFER_BIT 0x0100
#define GL_COLOR_BUFFER_BIT 0x4000
#define GL_POINTS 0x0000
#define GL_LINES 0x0001
#define GL_LINE_LOOP 0x0002
#define GL_LINE_STRIP 0x0003
#define GL_TRIANGLES 0x0004
#define GL_TRIANGLE_STRIP 0x0005
#define GL_TRIANGLE_FAN 0x0006
#define GL_QUADS 0x0007
#define GL_QUAD_STRIP 0x0008
#define GL_POLYGON 0x0009
#define GL_FRONT 0x0404
#define GL_BACK 0x0405
#define GL_FRONT_AND_BACK 0x0408
#define GL_CULL_FACE 0x0B44
#define GL_LIGHTING 0x0B50
#define GL_DEPTH_TEST 0x0B71
#define GL_VIEWPORT 0x0BA2
#define GL_BLEND 0x0BE2
#define GL_UNPACK_ROW_LENGTH 0x0CF2
#define GL_UNPACK_ALIGNMENT 0x0CF5
#define GL_MAX_TEXTURE_SIZE 0x0D33
#define GL_TEXTURE_2D 0x0DE1
#define GL_AMBIENT 0x1200
#define GL_DIFFUSE 0x1201
#define GL_UNSIGNED_BYTE 0x1401
#define GL_FLOAT 0x1406
#define GL_MODELVIEW 0x1700
#define GL_PROJECTION 0x1701
#define GL_ALPHA 0x1906
#define GL_RGB 0x1907
#define GL_RGBA 0x1908
#define GL_LUMINANCE 0x1909
#define GL_LUMINANCE_ALPHA 0x190A
#define GL_FLAT 0x1D00
#define GL_SMOOTH 0x1D01
#define GL_MODULATE 0x2100
#define GL_TEXTURE_ENV_MODE 0x2200
#define GL_TEXTURE_ENV 0x2300
#define GL_NEAREST 0x2600
#define GL_LINEAR 0x2601
#define GL_TEXTURE_MAG_FILTER 0x2800
#define GL_TEXTURE_MIN_FILTER 0x2801
#define GL_TEXTURE_WRAP_S 0x2802
#define GL_TEXTURE_WRAP_T 0x2803
#define GL_CLAMP 0x2900
#define GL_REPEAT 0x2901
#define GL_CLAMP_TO_EDGE 0x812F

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
