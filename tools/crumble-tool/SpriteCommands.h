#pragma once
// crumble-tool sprites check|show|render|sheet|contact: the sprite script loaded headless against
// the program folder, as the game window loads it.
#include <string>
#include <vector>

// [SCRIPT]
int SpritesCheck(const std::vector<std::string>& args);
// OBJECT [SCRIPT]
int SpritesShow(const std::vector<std::string>& args);
// OBJECT ANIM FRAME OUT.png [--scale F] [--alpha A] [SCRIPT]
int SpritesRender(const std::vector<std::string>& args);
// OBJECT OUT.png [SCRIPT]
int SpritesSheet(const std::vector<std::string>& args);
// OUT.png [SCRIPT]: every object's first images on one labelled picture
int SpritesContact(const std::vector<std::string>& args);
