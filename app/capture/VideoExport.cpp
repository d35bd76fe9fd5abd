#include "app/capture/VideoExport.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/capture/FrameCapture.h"
#include "app/capture/InOrderWorker.h"
#include "app/capture/Progress.h"
#include "platform/audio/AudioLoop.h"
#include "platform/offscreen/OffscreenGL.h"
#include "platform/video/VideoEncoder.h"
#include "scene/Scene.h"
#include "support/Log.h"

namespace fs = std::filesystem;

namespace {

std::atomic<bool> interrupted{false};

void onInterrupt(int) { interrupted = true; }

int failure(const std::string& message) {
  std::fprintf(stderr, "disco-capture: %s\n", message.c_str());
  return 1;
}

bool endsWithMp4(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  if (name.size() <= 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& ch : tail) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return tail == ".mp4";
}

// Where the file is written until it is complete: beside it, hidden, named for this process.
std::string partialPath(const std::string& target) {
  const fs::path path(target);
  const std::string name = path.filename().string();
  std::vector<char> hidden(name.size() + 32);
  std::snprintf(hidden.data(), hidden.size(), ".%s.%d.part", name.c_str(), static_cast<int>(getpid()));
  return (path.parent_path() / hidden.data()).string();
}

// The music as the demo plays it, converted for the AAC encoder; null (and a line saying so)
// when it cannot be played.
std::unique_ptr<AudioLoop> openMusic() {
  const std::string path = Scene::musicPath();
  auto loop = AudioLoop::open(path, [](int& rate, int& channels) {
    rate = VideoEncoder::aacRate(rate);
    channels = std::min(channels, 2);  // more are mixed down
    return true;
  });
  if (!loop) Log("no music: %s cannot be played; the video has no sound", path.c_str());
  return loop;
}

// Removes the partial file whatever way the export ends.
struct PartialFile {
  std::string path;
  ~PartialFile() {
    std::error_code ignored;
    if (!path.empty()) fs::remove(path, ignored);
  }
};

}  // namespace

int exportVideo(const CaptureOptions& options) {
  const std::string& target = options.video;
  if (!endsWithMp4(target)) return failure(target + ": unknown extension; videos are written as .mp4 files");
  std::error_code error;
  if (fs::is_directory(target, error)) return failure(target + " is a directory");

  // yuv420p keeps colour for 2 x 2 pixels at a time.
  const int width = options.width & ~1, height = options.height & ~1;
  if (width == 0 || height == 0) return failure("a video is at least 2x2 pixels");
  if (width != options.width || height != options.height) {
    Log("%dx%d rounded down to %dx%d: H.264 in yuv420p wants an even width and height", options.width,
        options.height, width, height);
  }
  auto gl = OffscreenGL::create(width, height);
  if (!gl) {
    return failure("cannot make an offscreen GL context of " + std::to_string(width) + "x" + std::to_string(height));
  }

  std::unique_ptr<AudioLoop> music = openMusic();
  VideoEncoder::Settings settings;
  settings.width = width;
  settings.height = height;
  settings.fps = options.fps;
  if (music) {
    settings.audioRate = music->outputRate();
    settings.audioChannels = music->outputChannels();
  }
  PartialFile partial{partialPath(target)};
  std::string why;
  auto encoder = VideoEncoder::open(partial.path, settings, why);
  if (!encoder) return failure("cannot write " + target + ": " + why);

  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
  // The music starts with the scene: the first frame goes with its sample at the start time.
  const double rate = settings.audioRate;
  if (music) music->skipLooping(static_cast<uint64_t>(std::llround(options.start * rate)));
  int64_t samplesOut = 0;

  const long frames = options.videoFrames();
  const Rect viewport{0.0f, 0.0f, float(width), float(height)};
  FrameCapture capture(viewport, options.seed);
  Progress progress(target, frames, "frames");
  const ptrdiff_t row = static_cast<ptrdiff_t>(width) * 4;
  const size_t frameBytes = static_cast<size_t>(row) * static_cast<size_t>(height);
  // Frames are encoded on a thread of their own while the next ones are drawn; their pixels
  // go over in buffers that come back to be filled again.
  std::atomic<bool> encoderFailed{false};
  std::mutex spareMutex;
  std::vector<std::vector<uint8_t>> spare;
  std::string jobFailure;
  {
    InOrderWorker encoding(2);
    for (long i = 0; i < frames && !interrupted && !encoderFailed; ++i) {
      capture.renderAt(options.start + static_cast<double>(i) / options.fps);
      std::vector<uint8_t> pixels;
      {
        std::lock_guard<std::mutex> lock(spareMutex);
        if (!spare.empty()) {
          pixels = std::move(spare.back());
          spare.pop_back();
        }
      }
      const uint8_t* rows = gl->finishedRows();
      pixels.assign(rows, rows + frameBytes);
      std::vector<float> sound;
      if (music) {
        // Sound up to the end of this frame: both tracks end together.
        const int64_t until = std::llround((i + 1) * rate / options.fps);
        const size_t count = static_cast<size_t>(until - samplesOut);
        sound.resize(count * settings.audioChannels);
        const size_t got = music->readLooping(sound.data(), count);
        std::fill(sound.begin() + static_cast<ptrdiff_t>(got * settings.audioChannels), sound.end(), 0.0f);
        samplesOut = until;
      }
      const bool posted = encoding.post([&, pixels = std::move(pixels), sound = std::move(sound)]() mutable {
        if (encoderFailed) return;
        // GL keeps the bottom row first.
        bool written = encoder->addFrame(pixels.data() + (height - 1) * row, -row);
        if (written && music) written = encoder->addAudio(sound.data(), sound.size() / settings.audioChannels);
        if (!written) encoderFailed = true;
        std::lock_guard<std::mutex> lock(spareMutex);
        spare.push_back(std::move(pixels));
      });
      if (!posted) break;  // a frame before this one could not be encoded
      progress.update(i + 1);
    }
    jobFailure = encoding.finish();
  }
  progress.finish();
  if (!jobFailure.empty()) return failure("cannot write " + target + ": " + jobFailure);
  if (encoderFailed) return failure("cannot write " + target + ": " + encoder->error());
  if (interrupted) return failure("interrupted; " + target + " not written");
  if (!encoder->finish()) return failure("cannot write " + target + ": " + encoder->error());
  fs::rename(partial.path, target, error);
  if (error) return failure("cannot write " + target + ": " + error.message());
  partial.path.clear();
  return 0;
}
