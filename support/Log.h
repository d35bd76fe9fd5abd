#pragma once

// One log line on stderr in the classic desktop style:
//   2026-12-07 19:25:50.123 disco[4242] message
// A newline is added unless the message already ends with one.
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
