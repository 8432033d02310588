// The dialog pictures, the intro picture and the game's backgrounds of both graphics sets:
// "Back" behind play (tiles seamlessly left to right, since it scrolls with wrap-around) and
// "Info" after Escape (thanks, how to play, the brand).
#pragma once

#include "Draw.h"

#include <filesystem>

namespace assetgen {

inline constexpr int MenuBackWidth = 480;
inline constexpr int MenuBackHeight = 300;

// The info dialog shows "INFO" at half size with the version label at 276,32 (92 x 33) of its
// client area; the picture keeps that spot plain.
inline constexpr int VersionLabelX = 2 * 276;
inline constexpr int VersionLabelY = 2 * 32;
inline constexpr int VersionLabelW = 2 * 92;
inline constexpr int VersionLabelH = 2 * 33;

enum class TGfxSet { Sb, Fb };

void DrawMenuBack(TCanvas& canvas);
void DrawIntro(TCanvas& canvas);
void DrawGameBack(TCanvas& canvas, TGfxSet set);
void DrawGameInfo(TCanvas& canvas, TGfxSet set);

inline void DrawBackSb(TCanvas& canvas) {
    DrawGameBack(canvas, TGfxSet::Sb);
}
inline void DrawBackFb(TCanvas& canvas) {
    DrawGameBack(canvas, TGfxSet::Fb);
}
inline void DrawInfoSb(TCanvas& canvas) {
    DrawGameInfo(canvas, TGfxSet::Sb);
}
inline void DrawInfoFb(TCanvas& canvas) {
    DrawGameInfo(canvas, TGfxSet::Fb);
}

// gfx/sb/Back.jpg, gfx/sb/Info.jpg, gfx/fb/Back.jpg and gfx/fb/Info.jpg of the program folder.
void WriteGamePictures(const std::filesystem::path& gameDir, int quality);

} // namespace assetgen
