#include "platform/web/gl1/Report.h"

#include <utility>

namespace gl1 {
namespace {

std::function<void(const std::string&)>& sink() {
  static std::function<void(const std::string&)> report;
  return report;
}

}  // namespace

void setReport(std::function<void(const std::string&)> report) { sink() = std::move(report); }

void report(const std::string& line) {
  if (sink()) sink()(line);
}

}  // namespace gl1
