#pragma once

#include <chrono>
#include <string>

// How far a long job has got, on stderr: on a terminal one line that keeps being rewritten
// (percent done, items per second, time left); elsewhere, a log line at every tenth done.
class Progress {
 public:
  Progress(std::string what, long total, const char* unit);

  void update(long done);
  // Ends the rewritten line, so that what follows starts on a line of its own.
  void finish();

 private:
  std::string line(long done) const;

  std::string what_;
  long total_;
  const char* unit_;
  bool terminal_;
  std::chrono::steady_clock::time_point started_, shown_;
  int tenthsShown_ = 0;
  bool drawn_ = false;
};
