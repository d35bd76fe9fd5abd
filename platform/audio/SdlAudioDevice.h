#pragma once

#include <memory>
#include <string>

#include "platform/audio/AudioDevice.h"

// The system's audio device through SDL, whichever driver SDL plays it with (PulseAudio,
// PipeWire, ALSA, ...). It tells neither when a sample is heard nor how fast its card plays.
class SdlAudioDevice final : public AudioDevice {
 public:
  // The driver SDL_AUDIODRIVER names; "" when it names none.
  static std::string namedDriver();
  static void nameStreams();
  static void threadDone();

  // Through the driver `name` ("" for SDL's own choice), `bufferFrames` a callback.
  static std::unique_ptr<SdlAudioDevice> open(const std::string& name, int rate, int channels, int bufferFrames,
                                              Fill fill, void* user, bool exactly, std::string& why);
  ~SdlAudioDevice() override;

  void start() override;
  bool lost() const override;

 private:
  SdlAudioDevice(Fill fill, void* user) : AudioDevice(fill, user) {}
  // SDL's callback.
  static void serve(void* self, unsigned char* stream, int bytes);

  unsigned id_ = 0;
};
