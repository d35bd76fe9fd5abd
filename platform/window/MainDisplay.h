#pragma once

#include "platform/window/MonitorLayout.h"

// The SDL display index of the main (primary) monitor, the one that shows the scene. SDL lists
// X11's primary first, so there it is always 0. On Wayland itself SDL lists the outputs in the
// order the compositor announced them, which says nothing of which is primary: the compositors
// that tell (GNOME, KDE) are asked, by the way the displays are held, and elsewhere the first output serves.
namespace platform {

int mainDisplayIndex();

// False while the compositor names a primary that SDL's display list does not show yet (just
// after the outputs changed), or while its new word on the primary is being read;
// mainDisplayIndex() may give another display then. Never waits.
bool mainDisplayListed();

// Whether the compositor's word on its primary changed (on Wayland itself, where SDL tells of no
// change that adds or removes no output) since the last call. Never waits.
bool primaryMayHaveChanged();

// The monitors as SDL lists them, the main one marked.
takeover::MonitorLayout listedLayout();

}  // namespace platform
