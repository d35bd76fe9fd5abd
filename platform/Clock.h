#pragma once

#include <cstdint>
#include <string>

// Seconds on a monotonic clock, as a double. Steps between two readings are never negative.
double absoluteTime();

// The monotonic clock (CLOCK_MONOTONIC, as steady_clock) in microseconds: what a party's timers
// and its clock run on, unmoved when the system clock is set.
int64_t monotonicMicros();

// The system's own clock (as chrony, systemd-timesyncd or PTP keep it, and as anyone may set
// it), in microseconds since 1970: for dates in the log, never for measuring time.
int64_t systemTimeMicros();

// A moment of that clock as the log writes it, in local time: "2026-12-09 05:27:42.834".
std::string localTimeText(int64_t micros);
