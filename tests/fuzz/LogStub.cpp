// The texture loader's log lines would flood the fuzzer's own output: they go nowhere here.
#include "support/Log.h"

void Log(const char*, ...) {}
