#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AVFrame;

// One pass through a sound file (any container and codec FFmpeg reads): its decoded frames in
// the decoder's own format, from the first sample to the last one the container says the track
// holds. Decoders hand out whole codec frames, so a track that ends inside one (AAC end
// padding, for instance) would otherwise be followed by up to a frame of padding.
class AudioFile {
 public:
  // Null when the file cannot be read or holds no audio stream its decoder accepts.
  static std::unique_ptr<AudioFile> open(const std::string& path);
  // Whether the file's packets reach the end of the track its container states; false for a
  // file that breaks off in the middle or cannot be read at all. Reads the file, decodes nothing.
  static bool readsToTheEnd(const std::string& path);
  ~AudioFile();

  AudioFile(const AudioFile&) = delete;
  AudioFile& operator=(const AudioFile&) = delete;

  // The next decoded frame, owned by this object and valid until the next call; null once the
  // pass is over.
  AVFrame* nextFrame();

  int sampleRate() const;
  int channels() const;
  // Samples per channel in one pass as the container states them; -1 when it states no exact
  // length (then the pass is whatever decodes).
  int64_t length() const { return length_; }

  struct Context;

 private:
  explicit AudioFile(std::unique_ptr<Context> context);
  std::unique_ptr<Context> context_;
  int64_t length_ = -1;
  int64_t delivered_ = 0;
  bool over_ = false;
};
