// The game's sound effects, synthesised into snd/NAME.wav of the program folder.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace assetgen {

// The effect names the game asks for (the music tracks come from Music.h).
const std::vector<std::string_view>& EffectNames();

// Writes every effect as a 44.1 kHz 16-bit mono wave file into folder.
void WriteSounds(const std::filesystem::path& folder);

} // namespace assetgen
