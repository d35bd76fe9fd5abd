#pragma once

#include "platform/window/Application.h"

namespace web {

// The view the page hosts (for the page's own probes); null until the application runs.
platform::ViewHandlers* hostedView();

}  // namespace web
