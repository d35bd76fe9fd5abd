#pragma once

#include <cstdint>

// One sprite of the crowd: a dancer of the ring, or the logo. The depth comes second and the
// height third; drawing maps them to world z and world y.
struct dancer {
  float x;                // world x
  float depth;            // world z, the sort key
  float height;           // world y of the sprite's bottom edge (the hop)
  float tilt;             // rocking value: the sprite turns by tilt * 20 degrees about z
  float scaleX;           // width factor of the sprite quad
  float scaleY;           // height factor of the sprite quad
  int32_t textureNumber;  // texture number in the crowd's registry
};
static_assert(sizeof(dancer) == 28, "seven fields of four bytes");

// Ascending depth is far to near for the scene's camera, which stands on the +z side.
// A depth that is not a number compares false both ways.
inline bool MyDataSortPredicate(const dancer& a, const dancer& b) { return a.depth < b.depth; }
