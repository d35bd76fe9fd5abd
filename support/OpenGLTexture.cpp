#include "support/OpenGLTexture.h"

OpenGLTexture::OpenGLTexture() = default;
OpenGLTexture::~OpenGLTexture() = default;

bool OpenGLTexture::loadTexture(const std::string&, int number) {
  m_mTextures[number] = 0;  // image loading comes later
  return false;
}

GLuint OpenGLTexture::getTextureName(int number) { return m_mTextures[number]; }
