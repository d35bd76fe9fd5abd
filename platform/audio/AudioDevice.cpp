#include "platform/audio/AudioDevice.h"

#include "platform/audio/DriverOrder.h"
#include "platform/audio/PulseOutput.h"
#include "platform/audio/SdlAudioDevice.h"

namespace {

// A music loop needs no low latency: about 370 ms per callback rides out a busy machine. (With
// 190 ms, two cores loaded by builds and a busy loop gave PulseAudio and PipeWire dropouts in
// every 40 s; SDL keeps no more than one callback's worth queued at the server.)
int bufferFramesFor(int rate) {
  int frames = 256;
  while (frames < rate / 3 && frames < 32768) frames *= 2;
  return frames;
}

std::unique_ptr<AudioDevice> openThrough(const std::string& driver, int rate, int channels, int bufferFrames,
                                         AudioDevice::Fill fill, void* user, bool exactly, std::string& why) {
  if (driver == AudioDevice::kTimedDriver) return PulseOutput::open(rate, channels, bufferFrames, fill, user, why);
  return SdlAudioDevice::open(driver, rate, channels, bufferFrames, fill, user, exactly, why);
}

}  // namespace

// The timed stream names itself as it opens.
void AudioDevice::nameStreams() { SdlAudioDevice::nameStreams(); }

void AudioDevice::threadDone() { SdlAudioDevice::threadDone(); }

std::vector<std::string> AudioDevice::driversAfter(const std::string& lost, bool others, bool timed) {
  return driverOrder({lost, others, timed, SdlAudioDevice::namedDriver()});
}

std::unique_ptr<AudioDevice> AudioDevice::open(int rate, int channels, Fill fill, void* user, bool exactly,
                                               std::string& why, const std::vector<std::string>& drivers) {
  why.clear();
  const int bufferFrames = bufferFramesFor(rate);
  for (const std::string& driver : drivers) {
    if (auto device = openThrough(driver, rate, channels, bufferFrames, fill, user, exactly, why)) return device;
  }
  return nullptr;
}
