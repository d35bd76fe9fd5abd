#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "platform/audio/AudioFile.h"
#include "platform/audio/AudioLoop.h"
#include "tests/unit/MusicFixtures.h"

// What reaches the device pass after pass is checked against ffmpeg's decoding by
// tests/music; here, what a device at another rate and channel count gets.
namespace {

using musicfixtures::Folder;

class AudioLoopTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!musicfixtures::haveFfmpeg()) GTEST_SKIP() << "needs the ffmpeg tool";
  }
  Folder folder;
};

// Everything `loop` gives over `passes` passes, and with `finish` its tail after the last.
std::vector<float> play(AudioLoop& loop, int channels, int passes, bool finish) {
  std::vector<float> out, chunk(1000 * channels);
  for (int ended = 0; !loop.ended();) {
    if (loop.atPassEnd()) {
      if (++ended < passes) {
        loop.nextPass();
      } else if (finish) {
        loop.finish();
      } else {
        break;
      }
    }
    const size_t frames = loop.read(chunk.data(), 1000);
    out.insert(out.end(), chunk.begin(), chunk.begin() + frames * channels);
  }
  return out;
}

TEST_F(AudioLoopTest, AnotherRateAndLayoutRunOnThroughTheSeamsAndEndWithTheResamplersTail) {
  // 500 whole cycles a pass: looped, a sine without a break. Mono into stereo at 44.1 kHz.
  const std::string path = folder.make("tone.wav", 48000, 24000, "0.5*sin(2*PI*1000*t)", "-c:a pcm_f32le");
  AudioLoop loop(path, AudioFile::open(path), 44100, 2, 0);
  const std::vector<float> out = play(loop, 2, 3, true);
  EXPECT_TRUE(loop.ended());
  EXPECT_NEAR(out.size() / 2.0, 3 * 22050.0, 1.0);

  // A resampler started over at a seam lets its delay out as a dip of a millisecond or so.
  std::vector<double> ideal(out.size() / 2), left(out.size() / 2);
  double gain = 0.0, norm = 0.0;
  for (size_t k = 0; k < ideal.size(); ++k) {
    ASSERT_EQ(out[2 * k], out[2 * k + 1]) << "frame " << k;
    ideal[k] = std::sin(2 * M_PI * 1000.0 * static_cast<double>(k) / 44100.0);
    left[k] = out[2 * k];
    gain += left[k] * ideal[k], norm += ideal[k] * ideal[k];
  }
  gain /= norm;
  EXPECT_GT(gain, 0.25);
  double worst = 0.0;
  size_t worstAt = 0;
  for (size_t k = 100; k + 100 < left.size(); ++k) {
    if (std::abs(left[k] - gain * ideal[k]) > worst) worst = std::abs(left[k] - gain * ideal[k]), worstAt = k;
  }
  EXPECT_LT(worst, 2e-3) << "at output frame " << worstAt;
}

TEST_F(AudioLoopTest, AFileGoneBetweenPassesEndsTheLoop) {
  const std::string path = folder.make("going.m4a", 44100, 22050, musicfixtures::kStereo, "-c:a aac");
  AudioLoop loop(path, AudioFile::open(path), 44100, 2, 0);
  EXPECT_EQ(play(loop, 2, 1, false).size(), 2u * 22050);
  std::filesystem::remove(path);
  loop.nextPass();
  std::vector<float> chunk(2000);
  EXPECT_EQ(loop.read(chunk.data(), 1000), 0u);
  EXPECT_TRUE(loop.ended());
}

}  // namespace
