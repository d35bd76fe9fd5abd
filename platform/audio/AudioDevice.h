#pragma once

#include <cstddef>
#include <memory>

// The sound output: the system's default audio device, fed 32-bit float samples by a callback
// on the device's own thread. The device may run at another rate or channel count than asked;
// the samples it wants are interleaved in its own rate() and channels().
class AudioDevice {
 public:
  // Fills `out` with `count` samples. Runs on the device's thread: must not block.
  using Fill = void (*)(void* user, float* out, size_t count);

  // Opened paused. Null, silently, when there is no audio driver or no device.
  static std::unique_ptr<AudioDevice> open(int rate, int channels, Fill fill, void* user);
  // Returns once the callback has run for the last time.
  ~AudioDevice();

  AudioDevice(const AudioDevice&) = delete;
  AudioDevice& operator=(const AudioDevice&) = delete;

  int rate() const { return rate_; }
  int channels() const { return channels_; }
  // Samples per callback.
  int bufferFrames() const { return bufferFrames_; }
  void start();

 private:
  AudioDevice(Fill fill, void* user) : fill_(fill), user_(user) {}
  static void callback(void* self, unsigned char* stream, int bytes);

  Fill fill_;
  void* user_;
  unsigned id_ = 0;
  int rate_ = 0;
  int channels_ = 0;
  int bufferFrames_ = 0;
};
