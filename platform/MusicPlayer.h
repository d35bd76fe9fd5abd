#pragma once

#include <memory>
#include <string>

// Plays one sound file, optionally looping it endlessly. open() yields no player at all when
// the file cannot be opened as audio; the caller then simply has no music.
class MusicPlayer {
 public:
  static std::unique_ptr<MusicPlayer> open(const std::string& path);
  ~MusicPlayer();

  void setLoops(bool loops);
  void play();

 private:
  MusicPlayer() = default;
};
