#include "objects/HSVtoRGB.h"

#include <cmath>

namespace {
// floorf's result as an int; a hue too large for an int (or NaN) takes the last row instead of
// an undefined conversion.
int sectorOf(float hh) {
  const float sector = std::floor(hh);
  if (!(sector >= -2147483648.0f && sector < 2147483648.0f)) return -1;
  return static_cast<int>(sector);
}
}  // namespace

void HSVtoRGB(float* red, float* green, float* blue, float h, float s, float v) {
  if (s == 0.0f) {
    *red = *green = *blue = v;
    return;
  }
  const float hh = h / 60.0f;
  const int i = sectorOf(hh);
  const float f = hh - static_cast<float>(i);
  const float p = (1.0f - s) * v;
  const float q = (1.0f - s * f) * v;
  const float t = (1.0f - s * (1.0f - f)) * v;
  switch (i) {
    case 0: *red = v, *green = t, *blue = p; break;
    case 1: *red = q, *green = v, *blue = p; break;
    case 2: *red = p, *green = v, *blue = t; break;
    case 3: *red = p, *green = q, *blue = v; break;
    case 4: *red = t, *green = p, *blue = v; break;
    default: *red = v, *green = p, *blue = q; break;  // 5, and 6 for h = 360, and negatives
  }
}
