#pragma once

#include <cstdint>

namespace platform::takeover {

// A change of the monitors reaches SDL's display list, the X server's RandR and the compositor's
// word on its primary at different moments. The windows follow it once they agree, looked at
// every 50 ms (a look may ask the X server), and as they are after 2 s anyway. Times are
// milliseconds on one clock.
class ListingWait {
 public:
  static constexpr uint64_t kLookIntervalMs = 50;
  static constexpr uint64_t kPatienceMs = 2000;

  // A change was told at `now`: looked at from now on. The patience runs from the first change
  // not yet followed.
  void start(uint64_t now);
  bool waiting() const { return since_ != 0; }
  // Whether a look is due.
  bool due(uint64_t now) const { return waiting() && now >= nextLook_; }
  // At a look: true, and the wait is over, when the listings `agree` or patience ran out;
  // otherwise the next look is set.
  bool settle(bool agree, uint64_t now);

 private:
  uint64_t since_ = 0;
  uint64_t nextLook_ = 0;
};

}  // namespace platform::takeover
