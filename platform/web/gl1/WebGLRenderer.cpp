// WebGL itself, not the layer, under GL's names.
#define DISCO_WEB_REAL_GL
#define GL_GLEXT_PROTOTYPES
#include "platform/web/gl1/WebGLRenderer.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstddef>

namespace gl1 {
namespace {

enum Attribute : GLuint { kPosition = 0, kColour = 1, kTexCoord = 2 };

const char* const kVertexShader = R"(#version 100
attribute vec4 position;
attribute vec4 colour;
attribute vec2 texCoord;
varying vec4 vColour;
varying vec2 vTexCoord;
void main() {
  gl_Position = position;
  vColour = colour;
  vTexCoord = texCoord;
})";

// The texture modulates the colour, as GL_MODULATE does.
const char* const kFragmentShaders[2] = {R"(#version 100
precision mediump float;
varying vec4 vColour;
void main() { gl_FragColor = vColour; })",
                                         R"(#version 100
precision mediump float;
uniform sampler2D picture;
varying vec4 vColour;
varying vec2 vTexCoord;
void main() { gl_FragColor = texture2D(picture, vTexCoord) * vColour; })"};

GLuint compile(GLenum kind, const char* source) {
  const GLuint shader = glCreateShader(kind);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  return shader;
}

GLuint link(const char* fragmentSource) {
  const GLuint program = glCreateProgram();
  const GLuint vertexShader = compile(GL_VERTEX_SHADER, kVertexShader);
  const GLuint fragmentShader = compile(GL_FRAGMENT_SHADER, fragmentSource);
  glAttachShader(program, vertexShader);
  glAttachShader(program, fragmentShader);
  glBindAttribLocation(program, kPosition, "position");
  glBindAttribLocation(program, kColour, "colour");
  glBindAttribLocation(program, kTexCoord, "texCoord");
  glLinkProgram(program);
  glDeleteShader(vertexShader);
  glDeleteShader(fragmentShader);
  return program;
}

void setCapability(GLenum capability, bool on) { on ? glEnable(capability) : glDisable(capability); }

// A buffer that doubles past its largest batch and is rewritten in place, not made anew.
void upload(GLenum target, const void* data, size_t bytes, size_t& capacity) {
  if (bytes > capacity) {
    capacity = std::max(bytes, 2 * capacity);
    glBufferData(target, static_cast<GLsizeiptr>(capacity), nullptr, GL_STREAM_DRAW);
  }
  glBufferSubData(target, 0, static_cast<GLsizeiptr>(bytes), data);
}

}  // namespace

WebGLRenderer::~WebGLRenderer() = default;  // its GL objects go with the context

void WebGLRenderer::prepare() {
  if (prepared_) return;
  prepared_ = true;
  programs_[0] = link(kFragmentShaders[0]);
  programs_[1] = link(kFragmentShaders[1]);
  // One buffer of each kind, bound for good: the vertex layout is set once, on the buffer that
  // every batch is written into.
  glGenBuffers(1, &vertexBuffer_);
  glGenBuffers(1, &indexBuffer_);
  glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
  constexpr GLsizei stride = sizeof(Vertex);
  glEnableVertexAttribArray(kPosition);
  glEnableVertexAttribArray(kColour);
  glEnableVertexAttribArray(kTexCoord);
  glVertexAttribPointer(kPosition, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, position)));
  glVertexAttribPointer(kColour, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, colour)));
  glVertexAttribPointer(kTexCoord, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, texCoord)));
  // GL's state as a new context has it, which `applied_` describes.
  glDisable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ZERO);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glUseProgram(0);
}

GLuint WebGLRenderer::glTexture(GLuint texture) {
  auto found = textures_.find(texture);
  if (found != textures_.end()) return found->second;
  GLuint made = 0;
  glGenTextures(1, &made);
  glBindTexture(GL_TEXTURE_2D, made);
  // GL's defaults, where WebGL's differ or a texture without mipmaps would not draw.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  applied_.texture = texture;
  return textures_[texture] = made;
}

void WebGLRenderer::textureImage(GLuint texture, GLsizei width, GLsizei height, GLenum format, const uint8_t* pixels) {
  prepare();
  glBindTexture(GL_TEXTURE_2D, glTexture(texture));
  applied_.texture = texture;
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
}

void WebGLRenderer::textureParameter(GLuint texture, GLenum name, GLint value) {
  prepare();
  glBindTexture(GL_TEXTURE_2D, glTexture(texture));
  applied_.texture = texture;
  glTexParameteri(GL_TEXTURE_2D, name, value);
}

void WebGLRenderer::apply(const DrawState& state) {
  const GLuint program = programs_[state.texture ? 1 : 0];
  if (program != appliedProgram_) glUseProgram(appliedProgram_ = program);
  if (state.texture && state.texture != applied_.texture) glBindTexture(GL_TEXTURE_2D, glTexture(state.texture));
  if (state.texture) applied_.texture = state.texture;
  if (state.blend != applied_.blend) setCapability(GL_BLEND, state.blend);
  if (state.blend && (state.blendSource != applied_.blendSource || state.blendDestination != applied_.blendDestination)) {
    glBlendFunc(state.blendSource, state.blendDestination);
    applied_.blendSource = state.blendSource;
    applied_.blendDestination = state.blendDestination;
  }
  applied_.blend = state.blend;
  if (state.depthTest != applied_.depthTest) setCapability(GL_DEPTH_TEST, applied_.depthTest = state.depthTest);
  if (state.cullFace != applied_.cullFace) setCapability(GL_CULL_FACE, applied_.cullFace = state.cullFace);
}

void WebGLRenderer::draw(std::span<const Vertex> vertices, std::span<const uint16_t> indices,
                         std::span<const Draw> draws) {
  prepare();
  upload(GL_ARRAY_BUFFER, vertices.data(), vertices.size_bytes(), vertexBytes_);
  upload(GL_ELEMENT_ARRAY_BUFFER, indices.data(), indices.size_bytes(), indexBytes_);
  for (const Draw& d : draws) {
    apply(d.state);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(d.indexCount), GL_UNSIGNED_SHORT,
                   reinterpret_cast<void*>(d.firstIndex * sizeof(uint16_t)));
  }
}

void WebGLRenderer::clear(GLbitfield mask, const std::array<float, 4>& colour) {
  if (colour != clearColour_) glClearColor(colour[0], colour[1], colour[2], colour[3]);
  clearColour_ = colour;
  glClear(mask);
}

void WebGLRenderer::viewport(GLint x, GLint y, GLsizei width, GLsizei height) { glViewport(x, y, width, height); }

GLint WebGLRenderer::maxTextureSize() {
  GLint size = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  return size;
}

void WebGLRenderer::finish() { glFinish(); }

}  // namespace gl1
