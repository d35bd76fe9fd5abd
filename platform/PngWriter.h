#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes 8-bit RGBA rows (top row first) as a PNG file. False when the file cannot be written.
bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba);
