#pragma once

#include <array>
#include <cstdint>
#include <vector>

class Scene;

// Where things of the scene land on screen in a frame, worked out from the camera the scene
// uses, and the frame's pixels.
namespace golden {

struct Point {
  double x = 0, y = 0;  // pixels, y down from the top row
};
using Quad = std::array<Point, 4>;  // corners in drawing order (convex)

struct Camera {
  double modelview[16];
  double projection[16];
  int viewport[4];
  // Screen position of a world point.
  Point project(double x, double y, double z) const;
  Quad projectQuad(const std::array<std::array<double, 3>, 4>& corners) const;
};

// The camera of the frame just rendered (the scene's phase, the GL's projection and viewport).
Camera cameraOf(const Scene& scene);

bool inside(const Quad& quad, Point p);
bool insideAny(const std::vector<Quad>& quads, Point p);

struct Frame {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;  // top row first
  std::array<int, 3> rgb(Point p) const;
  bool contains(Point p, int margin = 0) const;
};

// One upright sprite of the crowd: its quad (-2..2 by 0..6) placed, scaled and tilted.
struct Sprite {
  double x, height, depth, scaleX, scaleY, tiltDegrees;
  int textureNumber;
  std::array<double, 3> world(double u, double v) const;  // texture coordinate → world
  std::array<std::array<double, 3>, 4> corners() const;
};

// The 18 dancers and the logo at phase b, far to near.
std::vector<Sprite> crowdAt(float b);

// Hue in degrees of an RGB colour; -1 for a grey.
double hueOf(const std::array<int, 3>& rgb);

}  // namespace golden
