#include "app/capture/InOrderWorker.h"

#include <exception>

namespace {

// Why a job threw, never empty.
std::string runJob(const std::function<void()>& job) {
  try {
    job();
    return {};
  } catch (const std::exception& e) {
    return *e.what() ? e.what() : "a job failed";
  } catch (...) {
    return "a job failed";
  }
}

}  // namespace

InOrderWorker::InOrderWorker(size_t limit) : limit_(limit), thread_([this] { run(); }) {}

InOrderWorker::~InOrderWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool InOrderWorker::post(std::function<void()> job) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return jobs_.size() < limit_ || !failure_.empty(); });
  if (!failure_.empty()) return false;
  jobs_.push_back(std::move(job));
  changed_.notify_all();
  return true;
}

std::string InOrderWorker::finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return jobs_.empty() && !busy_; });
  return failure_;
}

void InOrderWorker::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
    if (jobs_.empty()) return;  // stopping, and nothing left
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    busy_ = true;
    changed_.notify_all();
    lock.unlock();
    std::string failure = runJob(job);
    lock.lock();
    if (!failure.empty()) {
      failure_ = std::move(failure);
      jobs_.clear();
    }
    busy_ = false;
    changed_.notify_all();
  }
}
