#include "FrameGeometry.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

#include "scene/Scene.h"

namespace golden {

Point Camera::project(double x, double y, double z) const {
  double wx = 0, wy = 0, wz = 0;
  gluProject(x, y, z, modelview, projection, viewport, &wx, &wy, &wz);
  return {wx, viewport[3] - wy};
}

Quad Camera::projectQuad(const std::array<std::array<double, 3>, 4>& corners) const {
  Quad quad;
  for (int i = 0; i < 4; ++i) quad[i] = project(corners[i][0], corners[i][1], corners[i][2]);
  return quad;
}

Camera cameraOf(const Scene& scene) {
  Camera camera;
  const double offset = scene.getOffset();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  gluLookAt(3.5 * std::sin(1.3 * offset), 6.0, 9.0 + 2.5 * std::cos(static_cast<float>(offset) / 1.239f), 0, 2,
            0, 0, 1, 0);
  glGetDoublev(GL_MODELVIEW_MATRIX, camera.modelview);
  glPopMatrix();
  glGetDoublev(GL_PROJECTION_MATRIX, camera.projection);
  glGetIntegerv(GL_VIEWPORT, camera.viewport);
  return camera;
}

bool inside(const Quad& quad, Point p) {
  int sign = 0;
  for (int i = 0; i < 4; ++i) {
    const Point a = quad[i], b = quad[(i + 1) % 4];
    const double cross = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
    const int s = cross > 0 ? 1 : cross < 0 ? -1 : 0;
    if (s != 0 && sign != 0 && s != sign) return false;
    if (s != 0) sign = s;
  }
  return true;
}

bool insideAny(const std::vector<Quad>& quads, Point p) {
  return std::any_of(quads.begin(), quads.end(), [&](const Quad& q) { return inside(q, p); });
}

std::array<int, 3> Frame::rgb(Point p) const {
  // Pixel (i, j) covers [i, i + 1) x [j, j + 1).
  const size_t i = (static_cast<size_t>(std::floor(p.y)) * width + static_cast<size_t>(std::floor(p.x))) * 4;
  return {rgba[i], rgba[i + 1], rgba[i + 2]};
}

bool Frame::contains(Point p, int margin) const {
  return p.x >= margin && p.y >= margin && p.x < width - 1 - margin && p.y < height - 1 - margin;
}

std::array<double, 3> Sprite::world(double u, double v) const {
  const double lx = -2.0 + 4.0 * u, ly = 6.0 * v;
  const double angle = tiltDegrees * M_PI / 180.0;
  const double rx = lx * std::cos(angle) - ly * std::sin(angle);
  const double ry = lx * std::sin(angle) + ly * std::cos(angle);
  return {x + scaleX * rx, height + scaleY * ry, depth};
}

std::array<std::array<double, 3>, 4> Sprite::corners() const {
  return {world(0, 1), world(1, 1), world(1, 0), world(0, 0)};
}

std::vector<Sprite> crowdAt(float b) {
  const float swing = std::sin(b / 12.5f);
  const float hop = swing < 0 ? -swing : swing;
  std::vector<Sprite> crowd;
  for (int k = 0; k < 18; ++k) {
    const double a = static_cast<double>(static_cast<float>(20 * k) + b) / 360.0 * 6.283185308;
    crowd.push_back({4.5 * std::sin(a), hop, 4.5 * std::cos(a), 0.3, 0.3, swing * 20.0f, 0});
  }
  crowd.push_back({0, 0, 0, 0.8, 1.0, 0, 1});
  std::stable_sort(crowd.begin(), crowd.end(), [](const Sprite& l, const Sprite& r) { return l.depth < r.depth; });
  return crowd;
}

double hueOf(const std::array<int, 3>& c) {
  const int hi = std::max({c[0], c[1], c[2]}), lo = std::min({c[0], c[1], c[2]});
  if (hi == lo) return -1;
  const double d = hi - lo;
  double h = hi == c[0] ? (c[1] - c[2]) / d : hi == c[1] ? 2 + (c[2] - c[0]) / d : 4 + (c[0] - c[1]) / d;
  h *= 60;
  return h < 0 ? h + 360 : h;
}

}  // namespace golden
