#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "app/capture/Progress.h"

namespace {

// Where stderr is no terminal (a log, CI), a line at every tenth done and none between.
TEST(Progress, ALogLineAtEveryTenthDone) {
  testing::internal::CaptureStderr();
  Progress progress("out.mp4", 250, "frames");
  for (long done = 1; done <= 250; ++done) progress.update(done);
  progress.finish();
  const std::string out = testing::internal::GetCapturedStderr();

  std::vector<std::pair<int, int>> lines;  // percent, frames done
  const std::regex line(R"(out\.mp4: +(\d+) % \((\d+)/250 frames\))");
  for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator(); ++it)
    lines.emplace_back(std::stoi((*it)[1]), std::stoi((*it)[2]));
  std::vector<std::pair<int, int>> expected;
  for (int tenth = 1; tenth <= 10; ++tenth) expected.emplace_back(tenth * 10, tenth * 25);
  EXPECT_EQ(lines, expected) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 10) << out;
}

}  // namespace
