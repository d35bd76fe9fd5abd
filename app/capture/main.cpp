// disco-capture: renders the demo without a display, into PNG files or a video.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/capture/CaptureOptions.h"
#include "app/capture/FrameCapture.h"
#include "app/capture/VideoExport.h"
#include "platform/PngWriter.h"
#include "platform/offscreen/OffscreenGL.h"

int main(int argc, char** argv) {
  std::string error;
  const auto options = CaptureOptions::parse(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "disco-capture: %s\n%s\n", error.c_str(), CaptureOptions::kUsage);
    return 2;
  }
  switch (options->action) {
    case CaptureOptions::Action::Help:
      std::printf("%s\n", CaptureOptions::kUsage);
      return 0;
    case CaptureOptions::Action::Version:
      std::printf("disco-capture %s\n", DISCO_VERSION);
      return 0;
    case CaptureOptions::Action::Video:
      return exportVideo(*options);
    case CaptureOptions::Action::Frames:
      break;
  }
  auto gl = OffscreenGL::create(options->width, options->height);
  if (!gl) {
    std::fprintf(stderr, "disco-capture: cannot make an offscreen GL context of %dx%d\n", options->width,
                 options->height);
    return 1;
  }
  const Rect viewport{0.0f, 0.0f, float(options->width), float(options->height)};
  auto capture = std::make_unique<FrameCapture>(viewport, options->seed);
  for (size_t i = 0; i < options->times.size(); ++i) {
    // Time only runs forwards: an earlier time starts the scene over.
    if (i > 0 && options->times[i] < options->times[i - 1]) capture = std::make_unique<FrameCapture>(viewport, options->seed);
    capture->renderAt(options->times[i]);
    const std::string path = options->outputPath(static_cast<int>(i));
    if (!writePng(path, gl->width(), gl->height(), gl->readFrame())) {
      std::fprintf(stderr, "disco-capture: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
