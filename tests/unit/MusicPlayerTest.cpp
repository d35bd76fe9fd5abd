#include <gtest/gtest.h>

#include <algorithm>
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
  void TearDown() override { unsetenv("SDL_AUDIODRIVER"); }

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

TEST_F(MusicPlayerTest, WithoutASoundDeviceASilentPlayerSaysSoOnceAndNothingElse) {
  const std::string song = folder.make("song.m4a", 44100, 4410, kStereo, "-c:a aac");
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  std::vector<std::string> lines;
  std::mutex linesLock;
  testing::internal::CaptureStderr();
  {
    // A player all the same: it looks for a device every second, and says nothing more of it.
    auto player = MusicPlayer::open(song, [&](const std::string& line) {
      std::lock_guard<std::mutex> hold(linesLock);
      lines.push_back(line);
    });
    ASSERT_NE(player, nullptr);
    player->setLoops(true);
    player->play();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("no sound: ", 0), 0u) << lines[0];

  // The system's own choice: sound or none, depending on the machine, but never a word on
  // stderr (ALSA, say, on a machine without a sound card).
  unsetenv("SDL_AUDIODRIVER");
  testing::internal::CaptureStderr();
  MusicPlayer::open(song).reset();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
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
