#include <gtest/gtest.h>

#include "GLRecorder.h"
#include "app/capture/CaptureOptions.h"
#include "app/capture/FrameCapture.h"
#include "objects/Ventjes.h"
#include "scene/Scene.h"

namespace {

std::optional<CaptureOptions> parse(std::vector<std::string> args, std::string* error = nullptr) {
  std::string text;
  auto options = CaptureOptions::parse(args, text);
  if (error) *error = text;
  return options;
}

TEST(CaptureOptions, TimesSizesSeedsAndPatterns) {
  auto options = parse({"--size", "1920x1080", "--time", "2.5", "--time", "0", "--seed", "42", "--output", "a-%03d.png"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->width, 1920);
  EXPECT_EQ(options->height, 1080);
  EXPECT_EQ(options->times, (std::vector<double>{2.5, 0.0}));
  EXPECT_EQ(options->seed, 42u);
  EXPECT_EQ(options->outputPath(7), "a-007.png");

  options = parse({"--frames", "3", "--fps", "4", "--start", "10", "--output", "one.png"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->times, (std::vector<double>{10.0, 10.25, 10.5}));
  EXPECT_EQ(options->outputPath(2), "one.png");

  // Any moment up to a year and a day, however many frames from there.
  options = parse({"--time", "31622400", "--time", "604800.5"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->times, (std::vector<double>{31622400.0, 604800.5}));
  EXPECT_TRUE(parse({"--frames", "2", "--fps", "1", "--start", "31622400"}));
}

TEST(CaptureOptions, RefusesWhatItCannotDoWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {},                                        // nothing to capture
      {"--time"},                                // value missing
      {"--time", "-1"},     {"--time", "nan"},  {"--time", "1x"},  {"--time", "31622401"},
      {"--frames", "1", "--fps", "1", "--start", "31622401"},
      {"--size", "0x10", "--time", "1"},         {"--size", "100", "--time", "1"},
      {"--size", "99999x10", "--time", "1"},
      {"--frames", "10", "--time", "1"},         // frames without fps
      {"--frames", "10", "--fps", "30", "--time", "1"},
      {"--start", "3", "--time", "1"},
      {"--output", "%s.png", "--time", "1"},     // only a number may be filled in
      {"--output", "%d-%d.png", "--time", "1"},
      {"--seed", "-3", "--time", "1"},
      {"--bogus", "1"},
      {"--video", "a.mp4"},                      // no duration
      {"--video", "a.mp4", "--duration", "0"},
      {"--video", "a.mp4", "--duration", "1", "--time", "2"},
      {"--video", "a.mp4", "--duration", "0.001", "--fps", "10"},  // not a single frame
      {"--duration", "3", "--time", "1"},
  };
  for (const auto& args : bad) {
    std::string error;
    EXPECT_FALSE(parse(args, &error)) << testing::PrintToString(args);
    EXPECT_FALSE(error.empty()) << testing::PrintToString(args);
  }
}

TEST(CaptureOptions, VideosHelpAndVersion) {
  auto options = parse({"--video", "out.mp4", "--duration", "2.5", "--start", "3", "--size", "640x360"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->action, CaptureOptions::Action::Video);
  EXPECT_EQ(options->videoFrames(), 150);  // 60 fps unless told
  EXPECT_EQ(options->start, 3.0);
  options = parse({"--fps", "25", "--duration", "2", "--video", "out.mp4"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->videoFrames(), 50);

  // --help wins over anything else given, even what would be refused.
  EXPECT_EQ(parse({"--time", "1", "--help"})->action, CaptureOptions::Action::Help);
  EXPECT_EQ(parse({"--bogus", "--help"})->action, CaptureOptions::Action::Help);
  EXPECT_EQ(parse({"--version"})->action, CaptureOptions::Action::Version);
  std::string error;
  EXPECT_FALSE(parse({"--bogus"}, &error));
  EXPECT_EQ(error, "unknown option --bogus");
}

TEST(FrameCapture, ReachesATimeInSixtyHertzStepsDrawingOnlyTheLast) {
  gl::reset();
  FrameCapture capture(Rect{0, 0, 64, 36}, 1);
  gl::calls().clear();
  capture.renderAt(1.0);
  EXPECT_EQ(capture.frame(), 60);
  EXPECT_EQ(gl::callsNamed("gluLookAt").size(), 1u);  // the steps before it are not drawn
  EXPECT_FLOAT_EQ(capture.scene().getVentjes()->getBounce(), 60.0f);
  EXPECT_EQ(capture.scene().getVentjes()->getScrollpos(), 4);  // one cell per update at most
  EXPECT_EQ(gl::calls().back().str(), "glFlush()");  // the frame handed on: a batching GL draws it now
  EXPECT_EQ(gl::callsNamed("glViewport").back().str(), "glViewport(0, 0, 64, 36)");

  gl::calls().clear();
  capture.renderAt(0.5);  // never backwards: the same frame again
  EXPECT_EQ(capture.frame(), 60);
  EXPECT_EQ(gl::callsNamed("gluLookAt").size(), 1u);
}

}  // namespace
