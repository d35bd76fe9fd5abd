#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/audio/AudioDevice.h"
#include "platform/audio/DriverOrder.h"

namespace {

using Drivers = std::vector<std::string>;
const std::string kTimed = AudioDevice::kTimedDriver;

// One case of the table each; `waited`: long enough to settle for another driver.
Drivers order(const std::string& lost, bool waited, bool timed, const std::string& named = "") {
  return driverOrder({lost, waited, timed, named});
}

TEST(MusicDriverOrder, ALostTimedStreamIsWaitedForAlone) {
  EXPECT_EQ(order(kTimed, false, true), Drivers({kTimed}));
  EXPECT_EQ(order(kTimed, false, true, "pulseaudio"), Drivers({kTimed}));
  EXPECT_EQ(order(kTimed, false, true, "alsa"), Drivers({})) << "SDL_AUDIODRIVER names another";
}

TEST(MusicDriverOrder, NothingLostLeavesTheDriverToSdlAfterTheTimedStream) {
  EXPECT_EQ(order("", false, false), Drivers({""}));
  EXPECT_EQ(order("", true, true), Drivers({kTimed, ""}));
  EXPECT_EQ(order("", false, true, "pipewire"), Drivers({""}));
}

TEST(MusicDriverOrder, ADriverNamedBySdlAudioDriverIsAllThatSdlTries) {
  EXPECT_EQ(order("pipewire", true, false, "alsa"), Drivers({""}));
  EXPECT_EQ(order("alsa", false, true, "pulseaudio"), Drivers({kTimed, ""}));
  EXPECT_EQ(order(kTimed, true, true, "pulseaudio"), Drivers({kTimed, ""}));
}

TEST(MusicDriverOrder, ATimedStreamAwayTooLongIsFollowedBySdlsServersThenAnything) {
  EXPECT_EQ(order(kTimed, true, true), Drivers({kTimed, "pipewire", "pulseaudio", ""}));
}

TEST(MusicDriverOrder, AfterAnSdlDeviceItsDriverAndTheServersAreWaitedFor) {
  EXPECT_EQ(order("pulseaudio", false, false), Drivers({"pulseaudio", "pipewire"}));
  EXPECT_EQ(order("alsa", false, true), Drivers({kTimed, "alsa", "pipewire", "pulseaudio"}));
}

TEST(MusicDriverOrder, AnSdlDeviceAwayTooLongIsFollowedByAnything) {
  EXPECT_EQ(order("pipewire", true, false), Drivers({"pipewire", "pulseaudio", ""}));
  EXPECT_EQ(order("disk", true, true), Drivers({kTimed, "disk", "pipewire", "pulseaudio", ""}));
}

}  // namespace
