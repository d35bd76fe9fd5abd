#include "app/capture/CaptureOptions.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scene/FixedSteps.h"

namespace {

// Any moment a party reaches is drawn exactly, and fast (FixedSteps jumps there).
constexpr double kLatestTime = FixedSteps::kLatestQuickTime;
// A day of video is already more than anyone will encode.
constexpr double kLongestVideo = 24 * 60 * 60;

std::string seconds(double value) { return std::to_string(std::lround(value)); }

bool parseNumber(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  out = std::strtod(text.c_str(), &end);
  return errno == 0 && *end == '\0' && std::isfinite(out);
}

bool parseCount(const std::string& text, long max, long& out) {
  double value = 0;
  if (!parseNumber(text, value) || value != std::floor(value) || value < 0 || value > max) return false;
  out = static_cast<long>(value);
  return true;
}

// The pattern may hold at most one integer conversion (%d, %04d, ...) and otherwise only %%.
bool validPattern(const std::string& pattern) {
  int conversions = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    ++i;
    if (i < pattern.size() && pattern[i] == '%') continue;
    while (i < pattern.size() && (std::isdigit(static_cast<unsigned char>(pattern[i])) || pattern[i] == '0')) ++i;
    if (i >= pattern.size() || pattern[i] != 'd') return false;
    ++conversions;
  }
  return conversions <= 1 && !pattern.empty();
}

}  // namespace

std::optional<CaptureOptions> CaptureOptions::parse(const std::vector<std::string>& args, std::string& error) {
  CaptureOptions options;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") options.action = Action::Help;
    if (arg == "--version" && options.action != Action::Help) options.action = Action::Version;
  }
  if (options.action != Action::Frames) return options;

  long frames = -1;
  double fps = 0, start = 0;
  bool startGiven = false, outputGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& flag = args[i];
    static const char* const kFlags[] = {"--size", "--time",  "--frames", "--fps",     "--start",
                                         "--seed", "--output", "--video", "--duration"};
    if (std::find(std::begin(kFlags), std::end(kFlags), flag) == std::end(kFlags)) {
      error = flag.rfind("-", 0) == 0 ? "unknown option " + flag : "unexpected argument " + flag;
      return std::nullopt;
    }
    if (i + 1 >= args.size()) {
      error = flag + " needs a value";
      return std::nullopt;
    }
    const std::string& value = args[++i];
    if (flag == "--size") {
      long w = 0, h = 0;
      const size_t x = value.find('x');
      if (x == std::string::npos || !parseCount(value.substr(0, x), 16384, w) ||
          !parseCount(value.substr(x + 1), 16384, h) || w == 0 || h == 0) {
        error = "--size wants WIDTHxHEIGHT, each 1 to 16384";
        return std::nullopt;
      }
      options.width = static_cast<int>(w);
      options.height = static_cast<int>(h);
    } else if (flag == "--time") {
      double t = 0;
      if (!parseNumber(value, t) || t < 0 || t > kLatestTime) {
        error = "--time wants seconds from 0 to " + seconds(kLatestTime);
        return std::nullopt;
      }
      options.times.push_back(t);
    } else if (flag == "--frames") {
      if (!parseCount(value, 100000, frames) || frames == 0) {
        error = "--frames wants a count from 1 to 100000";
        return std::nullopt;
      }
    } else if (flag == "--fps") {
      if (!parseNumber(value, fps) || fps <= 0 || fps > 1000) {
        error = "--fps wants a rate above 0 and up to 1000";
        return std::nullopt;
      }
    } else if (flag == "--start") {
      if (!parseNumber(value, start) || start < 0 || start > kLatestTime) {
        error = "--start wants seconds from 0 to " + seconds(kLatestTime);
        return std::nullopt;
      }
      startGiven = true;
    } else if (flag == "--seed") {
      long seed = 0;
      if (!parseCount(value, 4294967295L, seed)) {
        error = "--seed wants a whole number from 0 to 4294967295";
        return std::nullopt;
      }
      options.seed = static_cast<unsigned>(seed);
    } else if (flag == "--output") {
      if (!validPattern(value)) {
        error = "--output wants a file name with at most one %d-style number in it";
        return std::nullopt;
      }
      options.output = value;
      outputGiven = true;
    } else if (flag == "--video") {
      if (value.empty()) {
        error = "--video wants a file name";
        return std::nullopt;
      }
      options.video = value;
      options.action = Action::Video;
    } else if (flag == "--duration") {
      if (!parseNumber(value, options.duration) || options.duration <= 0 || options.duration > kLongestVideo) {
        error = "--duration wants seconds above 0 and up to " + seconds(kLongestVideo);
        return std::nullopt;
      }
    }
  }
  if (options.action == Action::Video) {
    if (frames > 0 || !options.times.empty() || outputGiven) {
      error = "--video goes with neither --time, --frames nor --output";
      return std::nullopt;
    }
    if (options.duration <= 0) {
      error = "--video needs --duration SECONDS";
      return std::nullopt;
    }
    if (fps > 0) options.fps = fps;
    options.start = start;
    if (options.videoFrames() < 1) {
      error = "--duration is shorter than one frame at that --fps";
      return std::nullopt;
    }
    return options;
  }
  if (options.duration > 0) {
    error = "--duration goes with --video";
    return std::nullopt;
  }
  if ((frames > 0) != (fps > 0)) {
    error = "--frames and --fps go together";
    return std::nullopt;
  }
  if (startGiven && frames <= 0) {
    error = "--start goes with --frames or --video";
    return std::nullopt;
  }
  if (frames > 0 && !options.times.empty()) {
    error = "give either --time or --frames, not both";
    return std::nullopt;
  }
  for (long i = 0; i < frames; ++i) options.times.push_back(start + static_cast<double>(i) / fps);
  if (options.times.empty()) {
    error = "nothing to capture: give --time, --frames or --video";
    return std::nullopt;
  }
  return options;
}

long CaptureOptions::videoFrames() const { return std::lround(duration * fps); }

std::string CaptureOptions::outputPath(int index) const {
  char path[4096];
  std::snprintf(path, sizeof path, output.c_str(), index);
  return path;
}
