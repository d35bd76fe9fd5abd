#include "platform/web/gl1/Report.h"

#include <utility>

namespace gl1 {
namespace {

std::function<void(const std::string&)>& reportSink() {
  static std::function<void(const std::string&)> report;
  return report;
}

std::function<void()>& failureHandler() {
  static std::function<void()> failure;
  return failure;
}

}  // namespace

void setReport(std::function<void(const std::string&)> report) { reportSink() = std::move(report); }

void report(const std::string& line) {
  if (reportSink()) reportSink()(line);
}

void setFailure(std::function<void()> failure) { failureHandler() = std::move(failure); }

void fail(const std::string& line) {
  report(line);
  if (failureHandler()) failureHandler()();
}

}  // namespace gl1
