#pragma once

#include <cstdint>

// Seconds on a monotonic clock, as a double. Steps between two readings are never negative.
double absoluteTime();

// The system's own clock (as chrony, systemd-timesyncd or PTP keep it), in microseconds since
// 1970: the time machines of a party share.
int64_t systemTimeMicros();
