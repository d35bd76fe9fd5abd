#include "platform/window/ListingWait.h"

namespace platform::takeover {

void ListingWait::start(uint64_t now) {
  if (since_ == 0) since_ = now == 0 ? 1 : now;
  nextLook_ = now;
}

bool ListingWait::settle(bool agree, uint64_t now) {
  if (!agree && now - since_ < kPatienceMs) {
    nextLook_ = now + kLookIntervalMs;
    return false;
  }
  since_ = nextLook_ = 0;
  return true;
}

}  // namespace platform::takeover
