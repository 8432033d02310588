// crumble-tool level encode|decode: the level files are scrambled line by line, as the game
// decodes them.
#pragma once

#include <string>
#include <vector>

// level encode IN OUT: the plain text IN scrambled into OUT, one line for each line.
int LevelEncode(const std::vector<std::string>& args);
// level decode FILE: the plain text of a scrambled level on standard output.
int LevelDecode(const std::vector<std::string>& args);
