#include <gtest/gtest.h>

#include <array>

#include "objects/HSVtoRGB.h"

namespace {

using RGB = std::array<float, 3>;
RGB rgb(float h, float s, float v) {
  RGB out{-1, -1, -1};
  HSVtoRGB(&out[0], &out[1], &out[2], h, s, v);
  return out;
}

TEST(HSVtoRGB, HuesAroundTheCircle) {
  const std::pair<float, RGB> saturated[] = {
      {0, {1, 0, 0}},   {30, {1, 0.5f, 0}}, {60, {1, 1, 0}},   {120, {0, 1, 0}},  {180, {0, 1, 1}},
      {240, {0, 0, 1}}, {300, {1, 0, 1}},   {330, {1, 0, 0.5f}},
      {360, {1, 0, 1}},  // sector 6 takes the last row: magenta, not red
      {-30, {1, 0, 0.5f}}};
  for (const auto& [hue, colour] : saturated) EXPECT_EQ(rgb(hue, 1, 1), colour) << hue;
  EXPECT_EQ(rgb(90, 0.5f, 0.5f), (RGB{0.375f, 0.5f, 0.25f}));
  EXPECT_EQ(rgb(200, 0, 0.25f), (RGB{0.25f, 0.25f, 0.25f}));
}

}  // namespace
