#pragma once

#include <functional>
#include <string>

// Where the layer says what it refused or what failed (the demo's log in the page; nowhere by
// default: tests, the native capture), and what ends the demo when WebGL cannot draw it at all.
namespace gl1 {

void setReport(std::function<void(const std::string&)> report);
void report(const std::string& line);

void setFailure(std::function<void()> failure);
// Said, then the failure handler called: nothing more can be drawn.
void fail(const std::string& line);

}  // namespace gl1
