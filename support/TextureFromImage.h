#pragma once

struct Image;

// Uploads a decoded picture as a new GL_TEXTURE_2D, cropped (never scaled) to its power-of-two
// sides: the bottom rows and leftmost columns, upright in texture space. Accepts 32-bit RGBA and
// 24-bit RGB only. On success writes the texture name and the texture's width and height and
// returns true; on failure (no image, another layout, sizes that cannot be uploaded safely)
// writes nothing, makes no texture and returns false. Needs the GL context current.
bool TextureFromImage(const Image* image, unsigned long* textureName, unsigned long* width,
                      unsigned long* height);
