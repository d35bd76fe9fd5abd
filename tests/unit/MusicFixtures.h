#pragma once

// Sound files made with the ffmpeg tool for the music tests, in a folder of their own.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace musicfixtures {

inline bool haveFfmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

// A chirp and a tone with a little noise, left and right: no two stretches alike.
inline const std::string kStereo =
    "0.4*sin(2*PI*440*t)+0.2*sin(2*PI*(97+300*t)*t)+0.05*random(0)|0.3*sin(2*PI*330*t+1)+0.1*random(1)";

class Folder {
 public:
  Folder() {
    std::string pattern = testing::TempDir() + "disco-music-XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

  // Exactly `samples` samples of `source` (aevalsrc expressions, one per channel, joined by
  // '|') at `rate`, coded by `encoder` (ffmpeg arguments; the name picks the container).
  std::string make(const std::string& name, int rate, int samples, const std::string& source,
                   const std::string& encoder = "") const {
    const std::string command = "ffmpeg -v error -y -f lavfi -i 'aevalsrc=" + source + ":s=" +
                                std::to_string(rate) + "' -af atrim=end_sample=" + std::to_string(samples) + " " +
                                encoder + " '" + file(name) + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return file(name);
  }

 private:
  std::string path_;
};

}  // namespace musicfixtures
