#pragma once

#include <string>

// The folder holding the demo's images and music: `resources/` beside the binary in a build
// tree, else `../share/disco` from the binary in an installed tree. File names such as
// "/tile.png" are appended to it as plain text.
std::string resourceFolder();

// The folder the running program was started from.
std::string programFolder();

// The web page as built for this program: `web/` beside the binary in a build tree, else
// `../share/disco/web` from the binary in an installed tree.
std::string pageFolder();
