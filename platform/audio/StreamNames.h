#pragma once

// How the music's stream is named to the sound server, whichever way it is opened.
namespace stream_names {
constexpr const char* kApplication = "disco";
constexpr const char* kStream = "disco music loop";
constexpr const char* kRole = "music";
}  // namespace stream_names
