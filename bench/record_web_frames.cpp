// Records what the web page's GL layer hands WebGL for the scene's frames: each frame's vertices
// (already in clip space), triangle indices and draws, and the textures. The plain WebGL page of
// the web benchmark (bench/web_baseline/) draws them back: the least any GL layer could do.
//
// Usage: record_web_frames OUTPUT WIDTH HEIGHT FRAMES
// The file, little-endian: "DISCOFRM", version 1, texture count, frame count, width, height; each
// texture (name, width, height, GL format, tightly packed rows, padded to 4 bytes); each frame
// (vertex, index and draw counts; vertices of 10 floats; 16-bit indices padded to 4 bytes;
// draws of first index, index count, texture and flags: 1 blending, 2 depth test, 4 culling).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/SceneSteps.h"
#include "platform/web/gl1/Layer.h"

namespace {

struct Frame {
  std::vector<gl1::Vertex> vertices;
  std::vector<uint16_t> indices;
  std::vector<uint32_t> draws;  // four words each
};

class Recorder : public gl1::Backend {
 public:
  std::vector<uint8_t> textures;
  uint32_t textureCount = 0;
  std::vector<Frame> frames;

  void draw(std::span<const gl1::Vertex> vertices, std::span<const uint16_t> indices,
            std::span<const gl1::Draw> draws) override {
    if (frames.empty()) return;
    Frame& frame = frames.back();
    const auto base = static_cast<uint16_t>(frame.vertices.size());
    const auto firstIndex = static_cast<uint32_t>(frame.indices.size());
    frame.vertices.insert(frame.vertices.end(), vertices.begin(), vertices.end());
    for (uint16_t index : indices) frame.indices.push_back(static_cast<uint16_t>(base + index));
    for (const gl1::Draw& d : draws) {
      const uint32_t flags = (d.state.blend ? 1u : 0u) | (d.state.depthTest ? 2u : 0u) | (d.state.cullFace ? 4u : 0u);
      frame.draws.insert(frame.draws.end(), {firstIndex + d.firstIndex, d.indexCount, d.state.texture, flags});
    }
  }
  void clear(GLbitfield, const std::array<float, 4>&) override { frames.emplace_back(); }
  void viewport(GLint, GLint, GLsizei, GLsizei) override {}
  void textureImage(GLuint texture, GLsizei width, GLsizei height, GLenum format, const uint8_t* pixels) override {
    put(textures, std::vector<uint32_t>{texture, static_cast<uint32_t>(width), static_cast<uint32_t>(height), format});
    const size_t bytes = static_cast<size_t>(width) * height * (format == GL_RGBA ? 4 : 3);
    textures.insert(textures.end(), pixels, pixels + bytes);
    textures.resize((textures.size() + 3) / 4 * 4);
    ++textureCount;
  }
  void textureParameter(GLuint, GLenum, GLint) override {}
  GLint maxTextureSize() override { return 16384; }
  void finish() override {}

  template <typename T>
  static void put(std::vector<uint8_t>& out, const std::vector<T>& values) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(values.data());
    out.insert(out.end(), bytes, bytes + values.size() * sizeof(T));
    out.resize((out.size() + 3) / 4 * 4);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: record_web_frames OUTPUT WIDTH HEIGHT FRAMES\n");
    return 2;
  }
  const auto width = static_cast<uint32_t>(std::atoi(argv[2]));
  const auto height = static_cast<uint32_t>(std::atoi(argv[3]));
  const long count = std::atol(argv[4]);
  auto owned = std::make_unique<Recorder>();
  Recorder& recorder = *owned;
  gl1::useBackend(std::move(owned));

  SceneSteps steps(kBenchFloorSeed);
  steps.scene().setViewportRect(Rect{0.0f, 0.0f, static_cast<float>(width), static_cast<float>(height)});
  for (long i = 0; i < count; ++i) {
    steps.renderNext();
    gl1::layer().flush();
  }

  std::vector<uint8_t> out = {'D', 'I', 'S', 'C', 'O', 'F', 'R', 'M'};
  Recorder::put(out, std::vector<uint32_t>{1, recorder.textureCount, static_cast<uint32_t>(recorder.frames.size()),
                                           width, height});
  out.insert(out.end(), recorder.textures.begin(), recorder.textures.end());
  for (const Frame& frame : recorder.frames) {
    Recorder::put(out, std::vector<uint32_t>{static_cast<uint32_t>(frame.vertices.size()),
                                             static_cast<uint32_t>(frame.indices.size()),
                                             static_cast<uint32_t>(frame.draws.size() / 4)});
    Recorder::put(out, frame.vertices);
    Recorder::put(out, frame.indices);
    Recorder::put(out, frame.draws);
  }
  FILE* file = std::fopen(argv[1], "wb");
  if (!file || std::fwrite(out.data(), 1, out.size(), file) != out.size() || std::fclose(file) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
