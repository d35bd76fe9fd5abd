#pragma once

#include <optional>
#include <string>
#include <vector>

// What disco-capture is asked to do: PNG frames, a video, or to tell its usage or version.
struct CaptureOptions {
  enum class Action { Frames, Video, Help, Version };
  Action action = Action::Frames;

  int width = 1280;
  int height = 720;
  unsigned seed = 1;                // the floor's colours

  // PNG frames.
  std::vector<double> times;        // scene times in seconds since the scene was prepared
  std::string output = "disco-%04d.png";  // printf pattern, given the frame's index

  // A video: `duration` seconds from scene time `start` on, a frame every 1/fps seconds.
  std::string video;
  double duration = 0;
  double fps = 60;
  double start = 0;
  long videoFrames() const;

  static constexpr const char* kUsage =
      "usage: disco-capture [--size WxH] [--seed N] [--output PATTERN]\n"
      "                     (--time SECONDS ... | --frames N --fps F [--start SECONDS])\n"
      "       disco-capture --video FILE.mp4 --duration SECONDS\n"
      "                     [--size WxH] [--fps F] [--seed N] [--start SECONDS]\n"
      "       disco-capture --help | --version\n"
      "\n"
      "Renders the disco scene without a display: PNG frames at the given scene times, or a video\n"
      "(H.264 and AAC in MP4) of the scene with its music. --size defaults to 1280x720, --fps to 60\n"
      "for a video, --seed (the floor's colours) to 1.";

  // Parses the arguments (without the program name); nullopt with `error` set when they are
  // not understood.
  static std::optional<CaptureOptions> parse(const std::vector<std::string>& args, std::string& error);

  // The file for the index-th frame: the pattern with the index filled in.
  std::string outputPath(int index) const;
};
