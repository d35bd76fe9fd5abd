#pragma once

// The SDL display index of the main (primary) monitor, the one that shows the scene. SDL lists
// X11's primary first, so there it is always 0. On Wayland itself SDL lists the outputs in the
// order the compositor announced them, which says nothing of which is primary: the compositors
// that tell (GNOME, KDE) are asked, and elsewhere the first output serves.
namespace platform {

int mainDisplayIndex();

// False while the compositor names a primary that SDL's display list does not show yet (just
// after the outputs changed); mainDisplayIndex() would give the first display then.
bool mainDisplayListed();

// Whether the compositor has told of a change that may have made another monitor primary (on
// Wayland itself, where SDL tells of none that adds or removes no output) since the last call.
// Never waits, and asks the compositor nothing.
bool primaryMayHaveChanged();

}  // namespace platform
