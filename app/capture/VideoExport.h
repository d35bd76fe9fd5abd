#pragma once

#include "app/capture/CaptureOptions.h"

// Renders the scene as a video of `options.duration` seconds with the demo's music, into
// `options.video`. The file appears only once it is complete: it is written beside under
// another name and renamed at the end. Returns the exit status, 0 or 1; every failure is one
// line on stderr.
int exportVideo(const CaptureOptions& options);
