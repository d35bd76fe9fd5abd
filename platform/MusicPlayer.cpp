#include "platform/MusicPlayer.h"

std::unique_ptr<MusicPlayer> MusicPlayer::open(const std::string&) { return nullptr; }
MusicPlayer::~MusicPlayer() = default;
void MusicPlayer::setLoops(bool) {}
void MusicPlayer::play() {}
