// The music in a web page: the track the browser decoded (AAC, the encoder's priming trimmed),
// played by Web Audio, whose looping buffer source goes from the last sample to the first with
// no gap.
#include "platform/audio/MusicPlayer.h"

#include "platform/web/Page.h"

struct MusicPlayer::Playback {
  int handle = 0;
};

// The browser keeps its own audio output through any change of sound device: there is no loss
// or return of sound to report. A guest's music follows the party's clock the page measures.
std::unique_ptr<MusicPlayer> MusicPlayer::open(const std::string& path, Report, SharedClock partyClock) {
  const int handle = disco_music_open(path.c_str());
  if (handle <= 0) return nullptr;
  if (partyClock) disco_music_follow(handle);
  auto playback = std::make_unique<Playback>();
  playback->handle = handle;
  return std::unique_ptr<MusicPlayer>(new MusicPlayer(std::move(playback)));
}

MusicPlayer::MusicPlayer(std::unique_ptr<Playback> playback) : playback_(std::move(playback)) {}

MusicPlayer::~MusicPlayer() { disco_music_close(playback_->handle); }

void MusicPlayer::setLoops(bool loops) { disco_music_loops(playback_->handle, loops ? 1 : 0); }

void MusicPlayer::play() { disco_music_play(playback_->handle); }

std::optional<double> MusicPlayer::partyError() const {
  const double error = disco_music_party_error();
  if (error != error) return std::nullopt;  // NaN: not yet known, or no party
  return error;
}
