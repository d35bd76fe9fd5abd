// GLU for the browser build: emscripten's declarations, with the camera and projection helpers
// and the quadrics taken from platform/web/Glu.cpp (emscripten's are wrong or missing).
#pragma once

#include_next <GL/glu.h>

#ifdef __cplusplus
extern "C" {
#endif
void discoLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
                 GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ);
void discoPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar);
GLUquadric* discoNewQuadric(void);
void discoDeleteQuadric(GLUquadric* quadric);
void discoQuadricTexture(GLUquadric* quadric, GLboolean texture);
void discoSphere(GLUquadric* quadric, GLdouble radius, GLint slices, GLint stacks);
#ifdef __cplusplus
}
#endif

#define gluLookAt discoLookAt
#define gluPerspective discoPerspective
#define gluNewQuadric discoNewQuadric
#define gluDeleteQuadric discoDeleteQuadric
#define gluQuadricTexture discoQuadricTexture
#define gluSphere discoSphere
