#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

// Plays one sound file, optionally looping it endlessly. open() yields no player at all when
// the file cannot be opened as audio; the caller then simply has no music.
//
// The loop is gapless and sample-exact: the last sample of the track (as long as its container
// says, without the encoder's padding) is followed directly by its first one. Decoding runs on
// a thread of its own, about two seconds ahead of the device, and neither the device nor the
// caller ever waits for it.
//
// Sound that is not there (no sound server yet, or one that went away) leaves the player
// silent; the decoding thread looks for a sound device again, every second at first and less
// often as the sound stays away (SoundRetry), and goes on with the music where it stopped once
// there is one.
class MusicPlayer {
 public:
  // Told, on the player's own thread, one line as sound goes or comes back; not again while a
  // device that comes keeps dying as it opens.
  using Report = std::function<void(const std::string& line)>;

  // Seconds on a clock shared with other players (a party's): the loop plays where that clock
  // says, wherever and whenever it starts, and keeps there against the sound card's own clock.
  using SharedClock = std::function<double()>;

  // With `follow`, the loop follows that clock (looping, whatever setLoops says).
  static std::unique_ptr<MusicPlayer> open(const std::string& path, Report report = nullptr,
                                           SharedClock follow = nullptr);
  // Stops the sound and the decoding thread.
  ~MusicPlayer();

  // Whether to go round again at the end; decided each time the end comes up.
  void setLoops(bool loops);
  void play();
  // Following a shared clock: how far the sound is ahead of the clock's place (+, seconds),
  // smoothed over the last second or so. Nothing when not following one, or while the sound
  // has not landed there (yet, or again). Any thread.
  std::optional<double> partyError() const;

  struct Playback;

 private:
  explicit MusicPlayer(std::unique_ptr<Playback> playback);
  std::unique_ptr<Playback> playback_;
};
