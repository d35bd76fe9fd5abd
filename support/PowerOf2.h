#pragma once

// The largest power of two not above n; 1 for n = 0. Textures are cropped to these sides.
constexpr unsigned int truncPowerOf2(unsigned int n) {
  unsigned int shifts = 0;
  while (n >>= 1) ++shifts;
  return 1u << shifts;
}
