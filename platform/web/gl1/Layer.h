#pragma once

#include <memory>

#include "platform/web/gl1/FixedFunction.h"

namespace gl1 {

// The layer the GL calls go to: drawing with WebGL unless another backend was given.
FixedFunction& layer();
void useBackend(std::unique_ptr<Backend> backend);

}  // namespace gl1
