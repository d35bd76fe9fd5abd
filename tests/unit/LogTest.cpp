#include <gtest/gtest.h>

#include <regex>

#include "support/Log.h"

TEST(Log, OneStampedLinePerMessageWithHexFormats) {
  testing::internal::CaptureStderr();
  Log("initWithFrame");
  Log("NSOpenGLView pixelFormat RendererID = %08x", 0x1a2bu);
  Log("%X\n", 26u);  // a message ending in a newline gets no second one
  const std::string out = testing::internal::GetCapturedStderr();
  const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} [\w.-]+\[\d+\] )";
  EXPECT_TRUE(std::regex_match(out, std::regex(stamp + "initWithFrame\n" + stamp +
                                               "NSOpenGLView pixelFormat RendererID = 00001a2b\n" + stamp +
                                               "1A\n")))
      << out;
}
