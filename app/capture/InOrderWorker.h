#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Runs jobs one after another, in the order given, on a thread of its own, so that the caller
// can get on with the next one: the video export draws a frame while the one before it is
// encoded. At most `limit` jobs wait; giving one more waits until there is room.
//
// A job that throws ends the work: the jobs after it are dropped, since each builds on the ones
// before it (the frames of one video), and `finish` says what went wrong.
class InOrderWorker {
 public:
  explicit InOrderWorker(size_t limit);
  ~InOrderWorker();  // finishes the jobs given
  InOrderWorker(const InOrderWorker&) = delete;
  InOrderWorker& operator=(const InOrderWorker&) = delete;

  // False, with the job dropped, once a job given before it has thrown.
  bool post(std::function<void()> job);
  // Waits until every job given has run; returns why one threw, or nothing when none did.
  std::string finish();

 private:
  void run();

  const size_t limit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> jobs_;
  bool busy_ = false;
  bool stopping_ = false;
  std::string failure_;
  std::thread thread_;
};
