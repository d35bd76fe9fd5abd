// Plays a sound file through MusicPlayer for a while, as the demo does, and tells what that
// cost. With SDL_AUDIODRIVER=disk the device's output lands in SDL_DISKAUDIOFILE.
//
// Usage: music_capture FILE SECONDS [once | follow START_US]
// With follow, the loop follows a shared clock started at START_US (the monotonic clock,
// CLOCK_MONOTONIC, in microseconds), as a party member's music does.
// Lines saying that sound went or came back go to stderr at once.
// Plays until its standard input ends (the caller has what it wanted), at most SECONDS.
// Prints "player none", or "player open" and: open_ms (time open() took), heap_bytes (heap
// the player holds while playing) and cpu_share (process CPU per second of playing: the
// decoding thread and the device's).
#include <malloc.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/ProcessCpu.h"
#include "platform/Clock.h"
#include "platform/audio/MusicPlayer.h"

namespace {
double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s FILE SECONDS [once | follow START_US]\n", argv[0]);
    return 2;
  }
  const size_t heapBefore = mallinfo2().uordblks;
  const double openStart = seconds();
  // Lines about sound going and coming back go to stderr as they come.
  MusicPlayer::SharedClock follow;
  if (argc > 4 && std::strcmp(argv[3], "follow") == 0) {
    const int64_t start = std::atoll(argv[4]);
    follow = [start] { return static_cast<double>(monotonicMicros() - start) * 1e-6; };
  }
  auto player = MusicPlayer::open(
      argv[1], [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }, follow);
  const double openMs = 1000.0 * (seconds() - openStart);
  if (!player) {
    std::printf("player none\n");
    return 0;
  }
  player->setLoops(!(argc > 3 && std::strcmp(argv[3], "once") == 0));
  const double playFor = std::atof(argv[2]), cpuStart = processCpuSeconds(), playStart = seconds();
  player->play();
  pollfd input{0, POLLIN, 0};
  while (poll(&input, 1, static_cast<int>(1000 * playFor)) < 0 && errno == EINTR) {
  }
  const double played = seconds() - playStart;
  const double cpu = processCpuSeconds() - cpuStart;
  const size_t heapHeld = mallinfo2().uordblks - heapBefore;
  player.reset();
  std::printf("player open\nopen_ms %.2f\nheap_bytes %zu\ncpu_share %.4f\n", openMs, heapHeld, cpu / played);
  return 0;
}
