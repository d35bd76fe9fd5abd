#pragma once

#include <string>

namespace gl {

// The name of argument `index` of the recorded call `function` when that argument is one of the
// GL enums the demo uses ("GL_TEXTURE_2D"; a glClear mask as "GL_COLOR_BUFFER_BIT | ..."), or ""
// when it is not an enum argument or its value has no name here (then it reads as a number).
std::string enumName(const std::string& function, size_t index, double value);

}  // namespace gl
