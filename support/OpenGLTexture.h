#pragma once

#include <GL/gl.h>

#include <map>
#include <string>

// An object's own textures, found again by small numbers of its choosing. Loading needs the GL
// context current; texture objects are never deleted and live as long as the context.
class OpenGLTexture {
 public:
  OpenGLTexture();
  ~OpenGLTexture();

  // Opens the image file and uploads it; stores its texture name under number (0 when the image
  // could not be used). True when a texture was made.
  bool loadTexture(const std::string& path, int number);
  // The texture name stored under number; a number never loaded reads 0, and is stored as 0.
  GLuint getTextureName(int number);
  // Whether number has an entry (a loaded texture, a failed load or a read), without adding one.
  bool holds(int number) const { return m_mTextures.count(number) != 0; }

 private:
  std::map<int, GLuint> m_mTextures;
};
