#pragma once

#include <string>
#include <vector>

// What the player knows as it looks for a sound output.
struct DriverSearch {
  std::string lost;      // the driver of the output that went away; "" when none did yet
  bool others = false;   // that sound stayed away long enough to settle for another
  bool timed = false;    // music that must be heard at a given moment: the timed driver is wanted
  std::string named;     // the driver SDL_AUDIODRIVER names; "" when it names none
};

// The sound drivers to try in turn, by the first case of a table that fits (DriverOrder.cpp).
// After a loss that driver and the sound servers come first, so that a server restarting finds
// its card free, and once `others`, whatever else SDL finds (ALSA on the card itself, say). ""
// stands for SDL's own choice, which is all there is when SDL_AUDIODRIVER names one or nothing
// was lost. The timed driver, when wanted, comes before them all, unless SDL_AUDIODRIVER names a
// driver it is not.
std::vector<std::string> driverOrder(const DriverSearch& search);
