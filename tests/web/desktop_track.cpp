// One pass of a sound file as the desktop's player decodes it (AudioLoop, at the file's own rate
// and channels): interleaved native-endian 32-bit floats on stdout, "RATE Hz x CHANNELS" on stderr.
// Usage: desktop_track FILE
#include <cstdio>
#include <vector>

#include "platform/audio/AudioLoop.h"

int main(int argc, char** argv) {
  auto loop = argc == 2 ? AudioLoop::open(argv[1], [](int&, int&) { return true; }) : nullptr;
  if (!loop) return 1;
  std::vector<float> block(4096 * loop->outputChannels());
  while (!loop->atPassEnd() && !loop->ended()) {
    const size_t frames = loop->read(block.data(), 4096);
    std::fwrite(block.data(), sizeof(float) * loop->outputChannels(), frames, stdout);
  }
  std::fprintf(stderr, "%d Hz x %d\n", loop->outputRate(), loop->outputChannels());
  return 0;
}
