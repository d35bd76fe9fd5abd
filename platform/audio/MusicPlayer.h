#pragma once

#include <memory>
#include <string>

// Plays one sound file, optionally looping it endlessly. open() yields no player at all when
// the file cannot be opened as audio, or there is no sound device; the caller then simply has
// no music.
//
// The loop is gapless and sample-exact: the last sample of the track (as long as its container
// says, without the encoder's padding) is followed directly by its first one. Decoding runs on
// a thread of its own, a few hundred milliseconds ahead of the device, and neither the device
// nor the caller ever waits for it.
class MusicPlayer {
 public:
  static std::unique_ptr<MusicPlayer> open(const std::string& path);
  // Stops the sound and the decoding thread.
  ~MusicPlayer();

  // Whether to go round again at the end; decided each time the end comes up.
  void setLoops(bool loops);
  void play();

  struct Playback;

 private:
  explicit MusicPlayer(std::unique_ptr<Playback> playback);
  std::unique_ptr<Playback> playback_;
};
