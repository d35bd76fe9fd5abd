#pragma once

// Seconds on a monotonic clock, as a double. Steps between two readings are never negative.
double absoluteTime();
