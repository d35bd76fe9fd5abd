// Image file bytes -> PNG decoding -> acceptance -> staging copy -> upload, through the texture
// registry as the scene objects use it. The GL is the unit tests' recorder, which reads every
// texel the upload hands it exactly as GL would: a staging buffer too short shows up as an
// overflow under AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FuzzInput.h"
#include "GLRecorder.h"
#include "support/OpenGLTexture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzInput input;
  gl::reset();
  gl::state().maxTextureSize = 4096;  // a small GL keeps big pictures from slowing every run
  OpenGLTexture textures;
  const bool made = textures.loadTexture(input.write(data, size), 3);

  // A refused image makes no texture; an accepted one makes exactly one upload.
  const GLuint name = textures.getTextureName(3);
  const size_t uploads = gl::callsNamed("glTexImage2D").size();
  if (made != (name != 0) || uploads != (made ? 1u : 0u)) std::abort();
  return 0;
}
