#include "platform/window/DisplayReport.h"

#include <mutex>
#include <set>

namespace platform {
namespace {

DisplayReport& sink() {
  static DisplayReport report;
  return report;
}

}  // namespace

void setDisplayReport(DisplayReport report) { sink() = std::move(report); }

// The Wayland covers' thread reports too.
void reportOnce(const char* kind, const std::string& line) {
  static std::mutex saying;
  static std::set<std::string> said;
  const std::lock_guard<std::mutex> lock(saying);
  if (sink() && said.insert(kind).second) sink()(line);
}

}  // namespace platform
