#include "platform/window/DisplayReport.h"

#include <set>

namespace platform {
namespace {

DisplayReport& sink() {
  static DisplayReport report;
  return report;
}

}  // namespace

void setDisplayReport(DisplayReport report) { sink() = std::move(report); }

void reportOnce(const char* kind, const std::string& line) {
  static std::set<std::string> said;
  if (sink() && said.insert(kind).second) sink()(line);
}

}  // namespace platform
