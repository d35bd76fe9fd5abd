#include "support/OpenGLTexture.h"

#include "platform/Image.h"
#include "support/TextureFromImage.h"

OpenGLTexture::OpenGLTexture() = default;
OpenGLTexture::~OpenGLTexture() = default;

bool OpenGLTexture::loadTexture(const std::string& path, int number) {
  const std::unique_ptr<Image> image = decodeImage(path);
  unsigned long textureName = 0, width = 0, height = 0;
  const bool made = TextureFromImage(image.get(), &textureName, &width, &height);
  // A failed load stores 0; a texture the number held before stays allocated in GL.
  m_mTextures[number] = static_cast<GLuint>(textureName);
  return made;
}

GLuint OpenGLTexture::getTextureName(int number) { return m_mTextures[number]; }
