#pragma once

// The quads of a recorded frame: corners in eye space, texture coordinates, and the texture and
// colour in force when each was drawn.

#include <array>
#include <vector>

#include "gl_recorder/GLRecorder.h"

struct DrawnQuad {
  GLuint texture = 0;
  std::array<double, 4> colour{};
  std::vector<std::array<double, 3>> corners;  // top-left, top-right, bottom-right, bottom-left
  std::vector<std::array<double, 2>> texCoords;

  double width() const { return corners[1][0] - corners[0][0]; }
  double depth() const { return corners[0][2]; }
};

inline std::vector<DrawnQuad> drawnQuads() {
  std::vector<DrawnQuad> quads;
  GLuint texture = 0;
  std::array<double, 4> colour{1, 1, 1, 1};
  for (const gl::Call& c : gl::calls()) {
    if (c.name == "glBindTexture") texture = static_cast<GLuint>(c.args[1]);
    if (c.name == "glColor4f") colour = {c.args[0], c.args[1], c.args[2], c.args[3]};
    if (c.name == "glBegin") quads.push_back(DrawnQuad{texture, colour, {}, {}});
    if (c.name == "glTexCoord2f") quads.back().texCoords.push_back({c.args[0], c.args[1]});
    if (c.name == "glVertex3f") quads.back().corners.push_back(c.eye);
  }
  return quads;
}
