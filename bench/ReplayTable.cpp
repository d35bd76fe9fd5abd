#include "bench/ReplayTable.h"

#include <GL/gl.h>
#include <GL/glu.h>

namespace {
GLUquadric* quadric() {
  static GLUquadric* q = gluNewQuadric();
  return q;
}
}  // namespace

void replayTableFrame(int frame) {
  float array[16];
  for (uint32_t i = kReplayFrameStart[frame]; i < kReplayFrameStart[frame + 1]; ++i) {
    const ReplayCall& call = kReplayCalls[i];
    const double* a = kReplayArgs + call.firstArg;
    const auto f = [a](int k) { return static_cast<GLfloat>(a[k]); };
    const auto e = [a](int k) { return static_cast<GLint>(a[k]); };
    switch (call.op) {
      case ReplayOp::glEnable: glEnable(e(0)); break;
      case ReplayOp::glDisable: glDisable(e(0)); break;
      case ReplayOp::glMatrixMode: glMatrixMode(e(0)); break;
      case ReplayOp::glBegin: glBegin(e(0)); break;
      case ReplayOp::glEnd: glEnd(); break;
      case ReplayOp::glPushMatrix: glPushMatrix(); break;
      case ReplayOp::glPopMatrix: glPopMatrix(); break;
      case ReplayOp::glLoadIdentity: glLoadIdentity(); break;
      case ReplayOp::glClear: glClear(e(0)); break;
      case ReplayOp::glClearColor: glClearColor(f(0), f(1), f(2), f(3)); break;
      case ReplayOp::glBlendFunc: glBlendFunc(e(0), e(1)); break;
      case ReplayOp::glBindTexture: glBindTexture(e(0), e(1)); break;
      case ReplayOp::glTranslatef: glTranslatef(f(0), f(1), f(2)); break;
      case ReplayOp::glScalef: glScalef(f(0), f(1), f(2)); break;
      case ReplayOp::glRotatef: glRotatef(f(0), f(1), f(2), f(3)); break;
      case ReplayOp::glColor3f: glColor3f(f(0), f(1), f(2)); break;
      case ReplayOp::glColor4f: glColor4f(f(0), f(1), f(2), f(3)); break;
      case ReplayOp::glTexCoord2d: glTexCoord2d(a[0], a[1]); break;
      case ReplayOp::glTexCoord2f: glTexCoord2f(f(0), f(1)); break;
      case ReplayOp::glVertex3f: glVertex3f(f(0), f(1), f(2)); break;
      case ReplayOp::glMultMatrixf:
        for (int k = 0; k < 16; ++k) array[k] = f(k);
        glMultMatrixf(array);
        break;
      case ReplayOp::glMaterialfv:
        for (int k = 0; k < 4; ++k) array[k] = f(2 + k);
        glMaterialfv(e(0), e(1), array);
        break;
      case ReplayOp::glShadeModel: glShadeModel(e(0)); break;
      case ReplayOp::glTexEnvf: glTexEnvf(e(0), e(1), f(2)); break;
      case ReplayOp::glTexParameteri: glTexParameteri(e(0), e(1), e(2)); break;
      case ReplayOp::glPixelStorei: glPixelStorei(e(0), e(1)); break;
      case ReplayOp::glViewport: glViewport(e(0), e(1), e(2), e(3)); break;
      case ReplayOp::gluLookAt: gluLookAt(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]); break;
      case ReplayOp::gluPerspective: gluPerspective(a[0], a[1], a[2], a[3]); break;
      case ReplayOp::gluSphere: gluSphere(quadric(), a[0], e(1), e(2)); break;
    }
  }
}
