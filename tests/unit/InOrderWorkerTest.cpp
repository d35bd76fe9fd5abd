#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/capture/InOrderWorker.h"

namespace {

using namespace std::chrono_literals;

// Polls until `condition` holds or `patience` has passed; says which.
template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(InOrderWorker, RunsEveryJobOnceInTheOrderGiven) {
  std::vector<int> ran;  // only the worker touches it until finish() returns
  std::promise<void> release;
  InOrderWorker worker(4);
  worker.post([&, released = release.get_future().share()] {
    released.wait();  // while the first job runs, the next ones queue up
    ran.push_back(0);
  });
  for (int job = 1; job <= 2; ++job) worker.post([&, job] { ran.push_back(job); });
  release.set_value();
  for (int job = 3; job < 499; ++job) worker.post([&, job] { ran.push_back(job); });
  worker.post([&] {
    std::this_thread::sleep_for(20ms);  // finish() waits for the job running too
    ran.push_back(499);
  });
  EXPECT_EQ(worker.finish(), "");
  std::vector<int> expected(500);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(ran, expected);
}

TEST(InOrderWorker, EndingRunsTheJobsStillWaiting) {
  std::vector<int> ran;
  {
    InOrderWorker worker(4);
    for (int job = 0; job < 4; ++job) {
      worker.post([&, job] {
        std::this_thread::sleep_for(1ms);
        ran.push_back(job);
      });
    }
  }
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3}));
}

TEST(InOrderWorker, AtMostLimitJobsWait) {
  std::promise<void> release;
  std::atomic<int> posted{0};
  InOrderWorker worker(3);
  std::thread poster([&] {
    worker.post([released = release.get_future().share()] { released.wait(); });
    ++posted;
    for (int job = 1; job < 10; ++job) {
      worker.post([] {});
      ++posted;
    }
  });
  // The job running and three waiting; the fifth has to wait. A worker that takes more would
  // show it well within the time given.
  ASSERT_TRUE(waitFor([&] { return posted >= 4; }, 60s));
  EXPECT_FALSE(waitFor([&] { return posted > 4; }, 200ms)) << posted << " jobs taken";
  release.set_value();
  poster.join();
  EXPECT_EQ(posted, 10);
}

TEST(InOrderWorker, AJobThatThrowsEndsTheWorkAndSaysWhy) {
  std::vector<int> ran;
  InOrderWorker worker(2);
  worker.post([&] { ran.push_back(0); });
  worker.post([] { throw std::runtime_error("no space left on device"); });
  for (int job = 2; job < 20; ++job) worker.post([&, job] { ran.push_back(job); });
  EXPECT_EQ(worker.finish(), "no space left on device");
  EXPECT_EQ(ran, std::vector<int>{0});  // the frames after it would leave a hole in the video
  EXPECT_FALSE(worker.post([&] { ran.push_back(99); }));
  EXPECT_EQ(worker.finish(), "no space left on device");
  EXPECT_EQ(ran, std::vector<int>{0});
}

}  // namespace
