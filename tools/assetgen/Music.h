// The two music loops, synthesised and encoded with lame into snd/NAME.mp3 of the program
// folder: "Track 30" for the title and "back" (longer than the engine's streaming threshold)
// for play. Both loop without a seam.
#pragma once

#include "Synth.h"

#include <filesystem>
#include <string_view>

namespace assetgen {

inline constexpr std::string_view TitleTrackName = "Track 30";
inline constexpr std::string_view PlayTrackName = "back";

TSound TitleTrack();
TSound PlayTrack();

// Synthesises both tracks and encodes them. Throws when lame cannot be run or fails.
void WriteMusic(const std::filesystem::path& folder);

} // namespace assetgen
