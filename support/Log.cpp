#include "support/Log.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <errno.h>
#include <unistd.h>

void Log(const char* format, ...) {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const int millis = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm local{};
  localtime_r(&seconds, &local);

  // Built in one buffer and written with one call, so lines from several processes never interleave.
  char line[1024];
  int used = static_cast<int>(std::strftime(line, sizeof line, "%Y-%m-%d %H:%M:%S", &local));
  used += std::snprintf(line + used, sizeof line - used, ".%03d %s[%d] ", millis,
                        program_invocation_short_name, static_cast<int>(getpid()));
  va_list args;
  va_start(args, format);
  const int wanted = std::vsnprintf(line + used, sizeof line - used, format, args);
  va_end(args);
  used = wanted < 0 ? used : std::min<int>(used + wanted, sizeof line - 2);
  if (line[used - 1] != '\n') line[used++] = '\n';
  std::fwrite(line, 1, used, stderr);
  std::fflush(stderr);
}
