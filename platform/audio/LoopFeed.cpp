#include "platform/audio/LoopFeed.h"

#include "platform/audio/AudioLoop.h"
#include "platform/audio/AudioRing.h"

LoopFeed::LoopFeed(AudioLoop& loop, AudioRing& ring, size_t chunkRoom)
    : loop_(loop),
      ring_(ring),
      channels_(static_cast<size_t>(loop.outputChannels())),
      chunk_(kChunkFrames * channels_),
      chunkRoom_(chunkRoom) {}

bool LoopFeed::ringFull() const { return ring_.space() < chunkRoom_ * channels_; }
