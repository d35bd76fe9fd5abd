// One pass of a sound file as the desktop's player decodes it (AudioLoop, at the file's own rate
// and channels): interleaved native-endian 32-bit floats on stdout, for the page's track to be
// held against.
//
// Usage: desktop_track FILE
#include <cstdio>
#include <vector>

#include "platform/audio/AudioLoop.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  auto loop = AudioLoop::open(argv[1], [](int&, int&) { return true; });
  if (!loop) return 1;
  std::vector<float> block(4096 * loop->outputChannels());
  while (!loop->atPassEnd() && !loop->ended()) {
    const size_t frames = loop->read(block.data(), 4096);
    std::fwrite(block.data(), sizeof(float) * loop->outputChannels(), frames, stdout);
  }
  std::fprintf(stderr, "%d Hz x %d\n", loop->outputRate(), loop->outputChannels());
  return 0;
}
