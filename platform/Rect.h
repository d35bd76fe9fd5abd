#pragma once

// A rectangle in view coordinates: origin and size.
struct Rect {
  float x = 0.0f;
  float y = 0.0f;
  float width = 0.0f;
  float height = 0.0f;
};
