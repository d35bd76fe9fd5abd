#pragma once

#include <memory>

#include "platform/window/PrimaryOutput.h"

namespace platform {

// GNOME (mutter, gnome-shell): the logical monitor org.gnome.Mutter.DisplayConfig marks primary,
// read again each time mutter says MonitorsChanged (a new primary alone says it too). Null where
// the session bus has no DisplayConfig. The first answer is waited for, at most a second.
std::unique_ptr<PrimaryWatch> watchGnomePrimary();

}  // namespace platform
