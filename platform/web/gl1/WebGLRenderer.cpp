// WebGL itself, not the layer, under GL's names.
#define DISCO_WEB_REAL_GL
#define GL_GLEXT_PROTOTYPES
#include "platform/web/gl1/WebGLRenderer.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstddef>
#include <string>

#include "platform/web/gl1/Report.h"

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

// What the driver said of a shader or a program, as one line.
std::string infoLog(GLuint object, bool program) {
  GLint length = 0;
  program ? glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length) : glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
  std::string log(static_cast<size_t>(std::max(length, 1)), '\0');
  GLsizei written = 0;
  program ? glGetProgramInfoLog(object, length, &written, log.data())
          : glGetShaderInfoLog(object, length, &written, log.data());
  log.resize(static_cast<size_t>(std::max(written, 0)));
  std::replace(log.begin(), log.end(), '\n', ' ');
  return log.empty() ? "no log" : log;
}

// 0, with the driver's log said, when it does not compile.
GLuint compile(GLenum kind, const char* source) {
  const GLuint shader = glCreateShader(kind);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint compiled = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  if (compiled) return shader;
  report(std::string(kind == GL_VERTEX_SHADER ? "the vertex" : "a fragment") +
         " shader does not compile: " + infoLog(shader, false));
  glDeleteShader(shader);
  return 0;
}

// 0 when a shader does not compile or the program does not link, said with the driver's log.
GLuint link(const char* fragmentSource) {
  const GLuint vertexShader = compile(GL_VERTEX_SHADER, kVertexShader);
  const GLuint fragmentShader = compile(GL_FRAGMENT_SHADER, fragmentSource);
  if (!vertexShader || !fragmentShader) {
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    return 0;
  }
  const GLuint program = glCreateProgram();
  glAttachShader(program, vertexShader);
  glAttachShader(program, fragmentShader);
  glBindAttribLocation(program, kPosition, "position");
  glBindAttribLocation(program, kColour, "colour");
  glBindAttribLocation(program, kTexCoord, "texCoord");
  glLinkProgram(program);
  glDeleteShader(vertexShader);
  glDeleteShader(fragmentShader);
  GLint linked = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  if (linked) return program;
  report("the shaders do not link: " + infoLog(program, true));
  glDeleteProgram(program);
  return 0;
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
  if (!programs_[0] || !programs_[1]) {
    failed_ = true;
    fail("WebGL does not take the scene's shaders: nothing can be drawn");
    return;
  }
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
  TextureRecord& record = records_[texture];
  record.width = width;
  record.height = height;
  record.format = format;
  record.pixels.assign(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height) * bytesPerPixel(format));
  prepare();
  if (drawing()) uploadImage(texture, record);
}

void WebGLRenderer::textureParameter(GLuint texture, GLenum name, GLint value) {
  records_[texture].parameters[name] = value;
  prepare();
  if (drawing()) setParameter(texture, name, value);
}

void WebGLRenderer::uploadImage(GLuint texture, const TextureRecord& record) {
  glBindTexture(GL_TEXTURE_2D, glTexture(texture));
  applied_.texture = texture;
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(record.format), record.width, record.height, 0, record.format,
               GL_UNSIGNED_BYTE, record.pixels.data());
}

void WebGLRenderer::setParameter(GLuint texture, GLenum name, GLint value) {
  glBindTexture(GL_TEXTURE_2D, glTexture(texture));
  applied_.texture = texture;
  glTexParameteri(GL_TEXTURE_2D, name, value);
}

void WebGLRenderer::contextLost() { lost_ = true; }

// Everything the context held, made again as it was: programs, buffers, textures, the viewport.
void WebGLRenderer::contextRestored() {
  lost_ = false;
  prepared_ = false;
  textures_.clear();
  applied_ = DrawState{};
  appliedProgram_ = 0;
  vertexBytes_ = indexBytes_ = 0;
  clearColour_ = {0.0f, 0.0f, 0.0f, 0.0f};
  prepare();
  if (!drawing()) return;
  for (const auto& [texture, record] : records_) {
    if (!record.pixels.empty()) uploadImage(texture, record);
    for (const auto& [name, value] : record.parameters) setParameter(texture, name, value);
  }
  glViewport(viewport_[0], viewport_[1], viewport_[2], viewport_[3]);
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
  if (!drawing()) return;
  upload(GL_ARRAY_BUFFER, vertices.data(), vertices.size_bytes(), vertexBytes_);
  upload(GL_ELEMENT_ARRAY_BUFFER, indices.data(), indices.size_bytes(), indexBytes_);
  for (const Draw& d : draws) {
    apply(d.state);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(d.indexCount), GL_UNSIGNED_SHORT,
                   reinterpret_cast<void*>(d.firstIndex * sizeof(uint16_t)));
  }
}

void WebGLRenderer::clear(GLbitfield mask, const std::array<float, 4>& colour) {
  if (!drawing()) return;
  if (colour != clearColour_) glClearColor(colour[0], colour[1], colour[2], colour[3]);
  clearColour_ = colour;
  glClear(mask);
}

void WebGLRenderer::viewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  viewport_ = {x, y, width, height};
  if (drawing()) glViewport(x, y, width, height);
}

// As the context first told it: a lost one tells 0.
GLint WebGLRenderer::maxTextureSize() {
  if (maxTextureSize_ == 0 && !lost_) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize_);
  return maxTextureSize_;
}

void WebGLRenderer::finish() {
  if (drawing()) glFinish();
}

}  // namespace gl1
