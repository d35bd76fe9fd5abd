#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>
#include <thread>

#include "platform/audio/MusicPlayer.h"
#include "tests/unit/MusicFixtures.h"

namespace {

using musicfixtures::kStereo;
using Clock = std::chrono::steady_clock;

// SDL picks its audio driver when audio starts, which every open() does afresh.
class MusicPlayerTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!musicfixtures::haveFfmpeg()) GTEST_SKIP() << "needs the ffmpeg tool";
    setenv("SDL_AUDIODRIVER", "dummy", 1);  // a device that plays in real time, silently
  }
  void TearDown() override { unsetenv("SDL_AUDIODRIVER"), unsetenv("SDL_DISKAUDIOFILE"), unsetenv("SDL_DISKAUDIODELAY"); }

  std::string cut(const std::string& path, double keep) {  // a file that breaks off
    const std::string out = path + ".cut";
    std::filesystem::copy_file(path, out, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(out, static_cast<uintmax_t>(std::filesystem::file_size(path) * keep));
    return out;
  }

  musicfixtures::Folder folder;
};

TEST_F(MusicPlayerTest, NoPlayerAndNoWordForAFileItCannotPlayThrough) {
  // The index up front, so that a file cut short still opens as far as its header goes.
  const std::string song = folder.make("song.m4a", 44100, 44100, kStereo, "-c:a aac -movflags +faststart");
  const std::string lossless = folder.make("song.flac", 44100, 44100, kStereo);
  const std::string film = folder.file("film.mp4");  // pictures, no sound
  ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i testsrc=s=64x64 -t 0.5 -c:v mpeg4 " + film).c_str()), 0);
  std::ofstream(folder.file("text.m4a")) << "tralala, not a song\n";
  const std::string cases[] = {folder.file("missing.m4a"), folder.file("text.m4a"), folder.file(""), film,
                               cut(song, 0.5), cut(song, 0.97), cut(lossless, 0.5)};
  for (const std::string& path : cases) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(MusicPlayer::open(path), nullptr) << path;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << path;
  }
  EXPECT_NE(MusicPlayer::open(song), nullptr) << "the whole file plays";
}

void nap() { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }

// The lines a player says: report() takes them, wait() has them once there are `count` (or a
// minute has passed).
struct Lines {
  std::mutex lock;
  std::vector<std::string> lines;
  MusicPlayer::Report report() {
    return [this](const std::string& line) {
      std::lock_guard<std::mutex> hold(lock);
      lines.push_back(line);
    };
  }
  std::vector<std::string> wait(size_t count) {
    for (const auto deadline = Clock::now() + std::chrono::seconds(60);; nap()) {
      std::lock_guard<std::mutex> hold(lock);
      if (lines.size() >= count || Clock::now() > deadline) return lines;
    }
  }
};

TEST_F(MusicPlayerTest, WithoutASoundDeviceSaysSoOnceAndPlaysWhenOneComes) {
  const std::string song = folder.make("song.m4a", 44100, 4410, kStereo, "-c:a aac");
  setenv("SDL_AUDIODRIVER", "disk", 1);  // a device once its folder is there
  setenv("SDL_DISKAUDIOFILE", folder.file("later/device.raw").c_str(), 1);
  Lines said;
  auto player = MusicPlayer::open(song, said.report());
  const std::string none = said.wait(1).at(0);
  EXPECT_EQ(none.rfind("no sound: ", 0), 0u) << none;
  std::filesystem::create_directory(folder.file("later"));
  EXPECT_EQ(said.wait(2), std::vector<std::string>({none, "sound back: disk at 44100 Hz"}));
  player.reset();

  // The system's own choice: sound or none, depending on the machine, but never a word on
  // stderr (ALSA, say, on a machine without a sound card).
  unsetenv("SDL_AUDIODRIVER");
  testing::internal::CaptureStderr();
  MusicPlayer::open(song).reset();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(MusicPlayerTest, DevicesThatDieAsTheyOpenAreLookedForLessOftenAndToldOfOnce) {
  const int opens = inotify_init1(IN_NONBLOCK);
  ASSERT_GE(inotify_add_watch(opens, "/dev/full", IN_OPEN), 0);
  setenv("SDL_AUDIODRIVER", "disk", 1), setenv("SDL_DISKAUDIOFILE", "/dev/full", 1);  // the first write fails
  Lines said;
  auto player = MusicPlayer::open(folder.make("song.wav", 44100, 4410, kStereo), said.report());
  std::vector<Clock::time_point> at;
  for (const auto deadline = Clock::now() + std::chrono::seconds(60); at.size() < 4 && Clock::now() < deadline; nap()) {
    inotify_event event;
    if (read(opens, &event, sizeof event) == sizeof event) at.push_back(Clock::now());
  }
  close(opens);
  ASSERT_EQ(at.size(), 4u);
  for (size_t i = 1; i < at.size(); ++i) {
    EXPECT_GT(at[i] - at[i - 1], std::chrono::milliseconds((1000 << (i - 1)) - 100)) << "wait " << i;
  }
  EXPECT_EQ(said.wait(2), std::vector<std::string>({"sound lost: the disk device went away",
                                                    "sound back: disk at 44100 Hz"}));
}

TEST_F(MusicPlayerTest, ALostDeviceTakesNothingMoreSoTheNextGoesOnWhereItStopped) {
  // The device writes to a pipe as fast as the test reads, and dies when the test stops reading.
  // A ramp tells every frame where it is in the track; SDL's buffer at 44.1 kHz is 16384 frames.
  constexpr long kBuffer = 16384;
  const std::string song = folder.make("ramp.wav", 44100, 131072, "(n+1)/131072", "-c:a pcm_f32le");
  const std::string pipe = folder.file("device");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const int closes = inotify_init();
  inotify_add_watch(closes, pipe.c_str(), IN_CLOSE_WRITE);
  signal(SIGPIPE, SIG_IGN);
  setenv("SDL_AUDIODRIVER", "disk", 1), setenv("SDL_DISKAUDIOFILE", pipe.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "0", 1);
  auto listen = [&] {
    const int out = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    fcntl(out, F_SETPIPE_SZ, 4096);  // what was written and never read is less than a buffer
    return out;
  };
  // The first frame of music in the pipe, after which `more` frames are read.
  auto firstFrame = [&](int out, long more) {
    float first = 0.0f, sample;
    for (const auto deadline = Clock::now() + std::chrono::seconds(60); Clock::now() < deadline;) {
      if (read(out, &sample, sizeof sample) != sizeof sample) nap();
      else if ((first != 0.0f || (first = sample) != 0.0f) && more-- == 0) break;
    }
    return std::lround(first * 131072) - 1;
  };
  const int first = listen();
  auto player = MusicPlayer::open(song);
  player->setLoops(true);
  player->play();
  EXPECT_EQ(firstFrame(first, 2 * kBuffer + kBuffer / 2), 0);  // the device dies in its third buffer ...
  close(first);
  pollfd closed = {closes, POLLIN, 0};  // the dead device lets go of the pipe, and of what it left there
  inotify_event event;
  EXPECT_TRUE(poll(&closed, 1, 60000) == 1 && read(closes, &event, sizeof event) == sizeof event)
      << "the device never closed the pipe within a minute";
  const int second = listen();  // ... and the next goes on after it, not a buffer taken into nowhere later
  EXPECT_EQ(firstFrame(second, 0), 3 * kBuffer);
  close(second), close(closes);
  std::filesystem::remove(pipe);  // a device opening waits for a pipe's reader, not for a file's
}

TEST_F(MusicPlayerTest, StopsAtOnceWhetherPlayingOrNot) {
  // A long song decoded again each pass, and a tiny one replayed hundreds of times a second.
  const std::string songs[] = {folder.make("long.m4a", 44100, 441000, kStereo, "-c:a aac"),
                               folder.make("tiny.wav", 44100, 64, kStereo)};
  // A player that played out what it holds would take two seconds whatever the machine; SDL's
  // dummy device itself sleeps through a few device buffers (1 s) before it sees the stop.
  // A busy machine only ever adds time, so the quickest of a few stops is the player's own.
  for (const std::string& song : songs) {
    for (const bool play : {false, true}) {
      Clock::duration quickest = Clock::duration::max();
      for (int attempt = 0; attempt < 3; ++attempt) {
        auto player = MusicPlayer::open(song);
        ASSERT_NE(player, nullptr) << song;
        player->setLoops(true);
        if (play) player->play();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));  // to fill what it holds
        const auto start = Clock::now();
        player.reset();
        quickest = std::min(quickest, Clock::now() - start);
      }
      EXPECT_LT(quickest, std::chrono::milliseconds(1500)) << song << (play ? " playing" : " waiting");
    }
  }
}

}  // namespace

namespace {

// A WAV header with any rate and channel count, and a little silence.
std::string writeWav(const std::string& path, uint32_t rate, uint16_t channels) {
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  const uint32_t dataBytes = 64u * channels * 2u;
  out.write("RIFF", 4), u32(36 + dataBytes), out.write("WAVEfmt ", 8), u32(16), u16(1), u16(channels);
  u32(rate), u32(rate * channels * 2u), u16(static_cast<uint16_t>(channels * 2)), u16(16);
  out.write("data", 4), u32(dataBytes);
  out << std::string(dataBytes, '\0');
  return path;
}

TEST_F(MusicPlayerTest, NoPlayerForAHeaderClaimingImpossibleSound) {
  // Sized by the header, such a file would have us allocate gigabytes for its buffers.
  EXPECT_EQ(MusicPlayer::open(writeWav(folder.file("fast.wav"), 1348599808u, 2)), nullptr);
  EXPECT_EQ(MusicPlayer::open(writeWav(folder.file("wide.wav"), 44100u, 200)), nullptr);
  EXPECT_NE(MusicPlayer::open(writeWav(folder.file("fine.wav"), 44100u, 2)), nullptr);
}

}  // namespace
