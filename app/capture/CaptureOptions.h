#pragma once

#include <optional>
#include <string>
#include <vector>

// What disco-capture is asked to render.
struct CaptureOptions {
  int width = 1280;
  int height = 720;
  std::vector<double> times;        // scene times in seconds since the scene was prepared
  std::string output = "disco-%04d.png";  // printf pattern, given the frame's index
  unsigned seed = 1;                // the floor's colours

  static constexpr const char* kUsage =
      "usage: disco-capture [--size WxH] [--seed N] [--output PATTERN] "
      "(--time SECONDS ... | --frames N --fps F [--start SECONDS])";

  // Parses the arguments (without the program name); nullopt with `error` set when they are
  // not understood.
  static std::optional<CaptureOptions> parse(const std::vector<std::string>& args, std::string& error);

  // The file for the index-th frame: the pattern with the index filled in.
  std::string outputPath(int index) const;
};
