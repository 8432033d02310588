#pragma once
// crumble-tool wave info|decode|play: the engine's wave reading and mixing on one file.
#include <string>
#include <vector>

int WaveInfo(const std::vector<std::string>& args);
int WaveDecode(const std::vector<std::string>& args);
// FILE --render OUT.wav [--ms N] [--loop] [--volume V] [--pan P] [--frequency HZ]
int WavePlay(const std::vector<std::string>& args);
