#include "platform/audio/DriverOrder.h"

#include <cstdint>

#include "platform/audio/AudioDevice.h"

namespace {

enum class Lost { Nothing, Timed, SdlDriver, Any };  // the timed driver, or one of SDL's
enum class Named { Nothing, Some, Any };             // by SDL_AUDIODRIVER
enum class Waited { NotLong, Long, Any };            // for the sound that went away

// What is tried, always in this order; a case takes some of them.
enum Try : uint8_t {
  kTimed = 1,      // the timed driver, when wanted and SDL_AUDIODRIVER does not name another
  kLost = 2,       // the driver lost
  kServers = 4,    // SDL's sound server drivers, but the one lost
  kSdlChoice = 8,  // whatever SDL picks itself
};

struct Case {
  Lost lost;
  Named named;
  Waited waited;
  uint8_t tries;
};

// The first case that fits is taken.
constexpr Case kCases[] = {
    // A server coming back may take SDL's PipeWire driver before it speaks PulseAudio's protocol
    // too: the timed driver is waited for, as long as one would wait for a server at all.
    {Lost::Timed, Named::Any, Waited::NotLong, kTimed},
    {Lost::Nothing, Named::Any, Waited::Any, kTimed | kSdlChoice},
    {Lost::Any, Named::Some, Waited::Any, kTimed | kSdlChoice},
    {Lost::Timed, Named::Nothing, Waited::Long, kTimed | kServers | kSdlChoice},
    {Lost::SdlDriver, Named::Nothing, Waited::NotLong, kTimed | kLost | kServers},
    {Lost::SdlDriver, Named::Nothing, Waited::Long, kTimed | kLost | kServers | kSdlChoice},
};

// Where the search stands, in the table's terms.
struct Situation {
  Lost lost;
  Named named;
  Waited waited;

  explicit Situation(const DriverSearch& search)
      : lost(search.lost.empty()                         ? Lost::Nothing
             : search.lost == AudioDevice::kTimedDriver ? Lost::Timed
                                                        : Lost::SdlDriver),
        named(search.named.empty() ? Named::Nothing : Named::Some),
        waited(search.others ? Waited::Long : Waited::NotLong) {}

  bool fits(const Case& c) const {
    return (c.lost == Lost::Any || c.lost == lost) && (c.named == Named::Any || c.named == named) &&
           (c.waited == Waited::Any || c.waited == waited);
  }
};

std::vector<std::string> drivers(uint8_t tries, const DriverSearch& search) {
  std::vector<std::string> drivers;
  const bool timedAllowed = search.named.empty() || search.named == "pulseaudio";
  if ((tries & kTimed) && search.timed && timedAllowed) drivers.emplace_back(AudioDevice::kTimedDriver);
  if (tries & kLost) drivers.push_back(search.lost);
  if (tries & kServers) {
    for (const char* server : {"pipewire", "pulseaudio"}) {
      if (search.lost != server) drivers.emplace_back(server);
    }
  }
  if (tries & kSdlChoice) drivers.emplace_back("");
  return drivers;
}

}  // namespace

std::vector<std::string> driverOrder(const DriverSearch& search) {
  const Situation situation(search);
  for (const Case& c : kCases) {
    if (situation.fits(c)) return drivers(c.tries, search);
  }
  return {""};  // every search has its case above
}
