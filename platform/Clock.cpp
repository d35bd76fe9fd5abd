#include "platform/Clock.h"

#include <chrono>

double absoluteTime() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}
