#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// A sound output, fed 32-bit float samples by a callback on the output's own thread. The
// output may run at another rate or channel count than asked; the samples it wants are
// interleaved in its own rate() and channels().
//
// Two kinds: SDL's audio devices (SdlAudioDevice), and a stream straight on the sound server
// that tells when each sample is heard (PulseOutput). open() picks one by the driver's name.
// The driver is chosen afresh whenever no output is open, so a sound server that was
// restarted, or started late, is found by the next open().
class AudioDevice {
 public:
  // Fills `out` with `count` samples, the first of them heard `untilHeard` seconds from now
  // (NaN: the output does not tell; infinite: it tells, but does not know yet), on a card that
  // plays `drift` faster than the monotonic clock (+1e-4: 100 ppm fast; NaN: not told). Runs on
  // the output's thread: must not block.
  using Fill = void (*)(void* user, float* out, size_t count, double untilHeard, double drift);

  // The driver that talks to the sound server itself rather than through SDL, so that it
  // can tell when each sample will be heard: PulseAudio's protocol (PipeWire speaks it too).
  static constexpr const char* kTimedDriver = "pulseaudio (timed)";

  // Names the stream to the sound server ("disco" playing music). Call on the thread that runs
  // the window system, before the first open().
  static void nameStreams();

  // Lets go of what SDL keeps for the calling thread (its last error message): call as a thread
  // that used devices ends, since SDL frees it only for threads of its own.
  static void threadDone();

  // The sound drivers open() tries in turn after an output of `lost` went away (DriverOrder),
  // with `others` once that sound stayed away long enough to settle for another, and with
  // `timed` for music that must be heard at a given moment.
  static std::vector<std::string> driversAfter(const std::string& lost, bool others, bool timed = false);

  // Opened paused, through the first of `drivers` that opens. Null when none does; `why` then
  // says why. `exactly`: samples stay at `rate` and `channels` whatever the device plays.
  static std::unique_ptr<AudioDevice> open(int rate, int channels, Fill fill, void* user, bool exactly,
                                           std::string& why, const std::vector<std::string>& drivers = {""});
  // Returns once the callback has run for the last time.
  virtual ~AudioDevice() = default;

  AudioDevice(const AudioDevice&) = delete;
  AudioDevice& operator=(const AudioDevice&) = delete;

  int rate() const { return rate_; }
  int channels() const { return channels_; }
  // Samples per callback.
  int bufferFrames() const { return bufferFrames_; }
  // The sound driver it plays through ("pulseaudio", "pipewire", "alsa", kTimedDriver, ...).
  const std::string& driver() const { return driver_; }
  virtual void start() = 0;
  // The output went away (its sound server stopped, say): the callback runs no more.
  virtual bool lost() const = 0;

 protected:
  AudioDevice(Fill fill, void* user) : fill_(fill), user_(user) {}
  void fill(float* out, size_t count, double untilHeard, double drift) const {
    fill_(user_, out, count, untilHeard, drift);
  }

  int rate_ = 0;
  int channels_ = 0;
  int bufferFrames_ = 0;
  std::string driver_;

 private:
  Fill fill_;
  void* user_;
};
