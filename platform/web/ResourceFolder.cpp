#include "platform/ResourceFolder.h"

// The page's resources/ folder, beside the page; the page fetches and decodes its files.
std::string resourceFolder() { return "resources"; }
