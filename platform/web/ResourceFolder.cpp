#include "platform/ResourceFolder.h"

// The page's resources/ folder, beside the page; the page fetches and decodes its files.
std::string resourceFolder() { return "resources"; }

// The page's own folder: where the program was loaded from.
std::string programFolder() { return "."; }
