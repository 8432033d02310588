// The game's sprite sheets: the images of each object stacked top to bottom as the sprite
// script declares them, written as a 24-bit bitmap (black where transparent), a colour-key
// mask NAMEm.png (white where transparent) and, for soft edges, an 8-bit alpha map NAME_mask.bmp.
#pragma once

#include "SheetArt.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

namespace assetgen {

struct TSheetEntry {
    std::string_view Name;
    int Width; // of one image
    int Height;
    int Count; // images, one above the other
    // Below this opacity (0 … 255) a pixel counts as transparent for the colour key. Sheets
    // that the game only draws with the colour key (lettering) cut at half; the rest keep as
    // much of their soft edge as the alpha map can show.
    int KeyCut;
    bool Opaque; // no transparency at all: no alpha map is written
    TFrameArt Draw;
};

std::span<const TSheetEntry> SheetEntries();

// The whole sheet, premultiplied ARGB32 as cairo draws it.
struct TSheetPixels {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Argb;
};

TSheetPixels DrawSheet(const TSheetEntry& entry);

// File contents.
std::vector<std::uint8_t> SheetBitmap(const TSheetPixels& pixels);
std::vector<std::uint8_t> SheetAlphaMap(const TSheetPixels& pixels);

// Writes every sheet into <gameDir>/gfx/sb/, then the list of files written into stampFile, which
// the build uses to tell whether the set is up to date; fails naming what it could not write.
void WriteSheets(const std::filesystem::path& gameDir, const std::filesystem::path& stampFile);

} // namespace assetgen
