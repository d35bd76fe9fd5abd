#pragma once

// Rotations as quaternions, for the ball's rolling orientation. Angles cross this interface in
// degrees. Nothing is normalised: callers keep their quaternions at unit length.

// Vector part (x, y, z) and scalar part w. A rotation by angle a about the unit axis n holds
// (n * sin(a/2), cos(a/2)); the identity is (0, 0, 0, 1).
struct quat_t {
  float x, y, z, w;
};

// q = the rotation by angle degrees about the axis (x, y, z). The axis is not normalised, and an
// angle of 0 gives the identity whatever the axis.
void QuatSetRotation(quat_t* q, float angle, float x, float y, float z);

// out = a followed by b, both about fixed world axes (Hamilton's b * a). out may be a or b.
void QuatMultiply(quat_t* out, const quat_t* a, const quat_t* b);

// The inverse of QuatSetRotation: angle in degrees (0 to 360) and the axis. A quaternion with no
// defined axis (w at or past 1, or below -1) gives angle 0 about (1, 0, 0).
void QuatGetAngleAxis(const quat_t* q, float* angle, float* x, float* y, float* z);

// m = the 4x4 rotation matrix of q, column-major as glMultMatrixf expects.
void QuatCreateMatrix(const quat_t* q, float m[16]);
