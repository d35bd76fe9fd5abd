#include "support/Log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <errno.h>
#include <unistd.h>

#include "platform/Clock.h"

void Log(const char* format, ...) {
  // Built in one buffer and written with one call, so lines from several processes never interleave.
  char line[1024];
  int used = std::snprintf(line, sizeof line, "%s %s[%d] ", localTimeText(systemTimeMicros()).c_str(),
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
