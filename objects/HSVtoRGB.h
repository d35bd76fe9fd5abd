#pragma once

// Hue h in degrees (any value; sectors outside 0..5 take the magenta-to-red row), saturation s
// and value v from 0 to 1, to red, green and blue from 0 to v.
void HSVtoRGB(float* red, float* green, float* blue, float h, float s, float v);
