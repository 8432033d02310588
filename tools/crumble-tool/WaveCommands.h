#pragma once
// crumble-tool wave info|decode|play: the engine's wave reading and mixing on one file;
// crumble-tool sounds prepare: the menu's decoding of the MP3 music of the program folder.
#include <string>
#include <vector>

int WaveInfo(const std::vector<std::string>& args);
int WaveDecode(const std::vector<std::string>& args);
// FILE --render OUT.wav [--ms N] [--loop] [--volume V] [--pan P] [--frequency HZ]
int WavePlay(const std::vector<std::string>& args);
// Decodes every MP3 file of the program folder's snd whose wave file is missing or older, as the
// menu does when it starts, so an installed copy need not write there.
int SoundsPrepare(const std::vector<std::string>& args);
