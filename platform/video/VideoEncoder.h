#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Writes an MP4 file: H.264 video in yuv420p at a constant quality and, when asked, an AAC
// sound track. The index is moved to the front when the file is finished, so that it plays
// while it downloads.
class VideoEncoder {
 public:
  struct Settings {
    int width = 0;  // both even: yuv420p halves them for colour
    int height = 0;
    double fps = 60;
    // x264's constant rate factor: lower looks better and takes more room.
    int quality = 18;
    // x264's preset: a quick one, for the scene's software rendering needs the rest of the CPU.
    const char* speed = "superfast";
    int audioRate = 0;      // samples per second; 0 for no sound track
    int audioChannels = 0;  // 1 or 2
  };

  // The sample rate the AAC encoder takes that is nearest `rate`.
  static int aacRate(int rate);

  // Null with `error` set when the file cannot be made or an encoder refuses the settings.
  // `path` gets an MP4 file whatever its name.
  static std::unique_ptr<VideoEncoder> open(const std::string& path, const Settings& settings, std::string& error);
  ~VideoEncoder();

  VideoEncoder(const VideoEncoder&) = delete;
  VideoEncoder& operator=(const VideoEncoder&) = delete;

  // The next frame, as RGBA rows: the top row at `rgba`, each next row `stride` bytes on
  // (negative for rows kept bottom up, as GL keeps them). Alpha is ignored.
  bool addFrame(const uint8_t* rgba, ptrdiff_t stride);
  // Sound to go with the frames: interleaved float samples at the settings' rate and channels.
  bool addAudio(const float* samples, size_t frames);
  // Encodes what is held back, writes the index and closes the file.
  bool finish();

  // Why the last call failed; a write that fails (a full disk) fails every call after it.
  const std::string& error() const { return error_; }

  struct Context;

 private:
  explicit VideoEncoder(std::unique_ptr<Context> context);
  bool fail(const std::string& what, int status);
  bool encode(int stream);

  std::unique_ptr<Context> context_;
  std::string error_;
};
