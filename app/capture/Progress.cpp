#include "app/capture/Progress.h"

#include <unistd.h>

#include <cstdio>

#include "support/Log.h"

namespace {
constexpr auto kRedrawEvery = std::chrono::milliseconds(250);
}

Progress::Progress(std::string what, long total, const char* unit)
    : what_(std::move(what)),
      total_(total > 0 ? total : 1),
      unit_(unit),
      terminal_(isatty(STDERR_FILENO)),
      started_(std::chrono::steady_clock::now()),
      shown_(started_) {}

std::string Progress::line(long done) const {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  const double rate = seconds > 0 ? done / seconds : 0;
  char text[256];
  int used = std::snprintf(text, sizeof text, "%s: %3ld %% (%ld/%ld %s), %.1f %s/s", what_.c_str(),
                           done * 100 / total_, done, total_, unit_, rate, unit_);
  if (rate > 0 && done < total_ && used > 0 && used < static_cast<int>(sizeof text)) {
    const long left = static_cast<long>((total_ - done) / rate + 0.5);
    std::snprintf(text + used, sizeof text - used, ", %ld:%02ld left", left / 60, left % 60);
  }
  return text;
}

void Progress::update(long done) {
  if (terminal_) {
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - shown_ < kRedrawEvery && done < total_) return;
    shown_ = now;
    drawn_ = true;
    // \033[K clears what a longer line left behind.
    std::fprintf(stderr, "\r%s\033[K", line(done).c_str());
    std::fflush(stderr);
    return;
  }
  const int tenths = static_cast<int>(done * 10 / total_);
  if (tenths <= tenthsShown_) return;
  tenthsShown_ = tenths;
  Log("%s", line(done).c_str());
}

void Progress::finish() {
  if (terminal_ && drawn_) std::fputc('\n', stderr);
  drawn_ = false;
}
