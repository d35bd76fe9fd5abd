#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Runs jobs one after another, in the order given, on a thread of its own, so that the caller
// can get on with the next one: the video export draws a frame while the one before it is
// encoded. At most `limit` jobs wait; giving one more waits until there is room.
class InOrderWorker {
 public:
  explicit InOrderWorker(size_t limit);
  ~InOrderWorker();  // finishes the jobs given
  InOrderWorker(const InOrderWorker&) = delete;
  InOrderWorker& operator=(const InOrderWorker&) = delete;

  void post(std::function<void()> job);
  // Waits until every job given has run.
  void drain();

 private:
  void run();

  const size_t limit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> jobs_;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread thread_;
};
