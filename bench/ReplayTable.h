#pragma once

#include <cstdint>

// The recorded frames again, pre-decoded into a table instead of code: one small record per GL
// command and its arguments in one array, walked by a switch. Little code and data read in
// order, which the processor streams in; the straight-line functions are larger to fetch.
#define DISCO_REPLAY_OPS(X)                                                                         \
  X(glEnable) X(glDisable) X(glMatrixMode) X(glBegin) X(glEnd) X(glPushMatrix) X(glPopMatrix)      \
  X(glLoadIdentity) X(glClear) X(glClearColor) X(glBlendFunc) X(glBindTexture) X(glTranslatef)    \
  X(glScalef) X(glRotatef) X(glColor3f) X(glColor4f) X(glTexCoord2d) X(glTexCoord2f) X(glVertex3f) \
  X(glMultMatrixf) X(glMaterialfv) X(glShadeModel) X(glTexEnvf) X(glTexParameteri)                 \
  X(glPixelStorei) X(glViewport) X(gluLookAt) X(gluPerspective) X(gluSphere)

enum class ReplayOp : uint16_t {
#define DISCO_REPLAY_ENUM(name) name,
  DISCO_REPLAY_OPS(DISCO_REPLAY_ENUM)
#undef DISCO_REPLAY_ENUM
};

struct ReplayCall {
  ReplayOp op;
  uint16_t argCount;
  uint32_t firstArg;  // index into kReplayArgs
};

extern const ReplayCall kReplayCalls[];
extern const double kReplayArgs[];     // every argument, exactly as recorded
extern const uint32_t kReplayFrameStart[];  // kRecordedFrameCount + 1 entries into kReplayCalls

// Issues the table's commands of one recorded frame.
void replayTableFrame(int frame);
