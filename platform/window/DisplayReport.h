#pragma once

#include <functional>
#include <string>

// Where the window code says what went wrong with the displays: the program's log. Each kind of
// trouble is said once, so a refusal met every frame does not flood it.
namespace platform {

using DisplayReport = std::function<void(const std::string& line)>;

void setDisplayReport(DisplayReport report);

// Says `line` unless a line of the same `kind` was said before.
void reportOnce(const char* kind, const std::string& line);

}  // namespace platform
