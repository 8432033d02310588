// The pictures of the menu window and the game's loading screen.
#pragma once

#include "Draw.h"

namespace assetgen {

// Where the menu window places its controls over the picture; the art is composed around them.
inline constexpr int MenuWidth = 640;
inline constexpr int MenuHeight = 400;
inline constexpr int WebX = 52;
inline constexpr int WebY = 53;
inline constexpr int WebW = 292;
inline constexpr int WebH = 171;
inline constexpr int StartX = 152;
inline constexpr int StartY = 268;
inline constexpr int StartW = 109;
inline constexpr int StartH = 53;

inline constexpr int ScreenWidth = 800;
inline constexpr int ScreenHeight = 600;

void DrawMenue(TCanvas& canvas);
void DrawMenueNet(TCanvas& canvas);
void DrawLoaderPic(TCanvas& canvas);

} // namespace assetgen
