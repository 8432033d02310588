// The generated sprite sheets in the program folder, against the built-in sprite script.
#include "gamelib/SpriteUnit.h"
#include "platform/bmp.h"
#include "platform/png.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::filesystem::path SheetFolder =
    std::filesystem::path(CRUMBLE_TOOL_PATH).parent_path() / "gfx" / "sb";

struct TDeclared {
    std::string Name;
    int Width, Height, Count, Across, Down;
};

// The Animation objects of the built-in script with their header numbers.
std::vector<TDeclared> DeclaredSheets() {
    const std::vector<std::string> lines = SplitLines(BuiltInSpriteScript());
    std::vector<TDeclared> result;
    for (size_t i = 0; i + 5 < lines.size(); ++i) {
        const std::string& line = lines[i];
        const size_t colon = line.find(':');
        if (line.rfind("OBJECT ", 0) != 0 || colon == std::string::npos) continue;
        const std::string kind = line.substr(colon + 1);
        if (kind.rfind("Animation", 0) != 0) continue;
        auto number = [&](size_t k) { return std::stoi(lines[i + k].substr(0, 3)); };
        result.push_back(
            {line.substr(7, colon - 7), number(1), number(2), number(3), number(4), number(5)});
    }
    return result;
}

TBitmapImage Read(const std::filesystem::path& path, bool png) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    return png ? DecodePng(bytes.data(), bytes.size()) : DecodeBitmap(bytes.data(), bytes.size());
}

} // namespace

TEST(SheetsTest, EveryAnimationOfTheBuiltInScriptHasItsSheetMaskAndAlphaMap) {
    const std::vector<TDeclared> declared = DeclaredSheets();
    ASSERT_EQ(declared.size(), 33u);
    for (const TDeclared& d : declared) {
        SCOPED_TRACE(d.Name);
        const TBitmapImage sheet = Read(SheetFolder / (d.Name + ".bmp"), false);
        ASSERT_FALSE(sheet.Empty());
        EXPECT_EQ(sheet.BitCount, 24);
        ASSERT_EQ(sheet.Width, d.Width * d.Across);
        ASSERT_EQ(sheet.Height, d.Height * d.Down);
        const TBitmapImage mask = Read(SheetFolder / (d.Name + "m.png"), true);
        ASSERT_EQ(mask.Width, sheet.Width);
        ASSERT_EQ(mask.Height, sheet.Height);
        const bool opaque = d.Name == "intro";
        const TBitmapImage alpha = Read(SheetFolder / (d.Name + "_mask.bmp"), false);
        if (opaque) {
            EXPECT_TRUE(alpha.Empty());
        } else {
            ASSERT_EQ(alpha.BitCount, 8);
            ASSERT_EQ(alpha.Width, sheet.Width);
            ASSERT_EQ(alpha.Height, sheet.Height);
        }
        // Every image shows something (the particle's last one stays empty by design); the
        // transparent parts are black in the sheet and of no weight in the alpha map; no figure
        // touches its image's border, where it would be cut off.
        for (int n = 0; n < d.Count; ++n) {
            const int left = (n % d.Across) * d.Width, top = (n / d.Across) * d.Height;
            int shown = 0;
            bool onBorder = false;
            for (int y = top; y < top + d.Height; ++y)
                for (int x = left; x < left + d.Width; ++x) {
                    // A mask pixel that is not black hides, as the key routine judges it.
                    const bool hidden = mask.ColorAt(x, y) != 0;
                    if (hidden) {
                        EXPECT_EQ(sheet.ColorAt(x, y), 0u) << x << "," << y;
                        if (!opaque) {
                            EXPECT_EQ(alpha.Row(y)[x], 0) << x << "," << y;
                        }
                        continue;
                    }
                    ++shown;
                    const bool border =
                        x == left || y == top || x == left + d.Width - 1 || y == top + d.Height - 1;
                    if (border && !opaque) onBorder = true;
                }
            if (d.Name == "Partikel" && n == d.Count - 1) {
                EXPECT_EQ(shown, 0);
            } else if (d.Name == "Korvald_font" && n == 0) {
                EXPECT_EQ(shown, 0); // the blank
            } else if (d.Name == "Partikel") {
                EXPECT_GT(shown, 0) << "image " << n + 1; // shrinking to nothing
            } else {
                EXPECT_GT(shown, d.Width * d.Height / 50) << "image " << n + 1;
            }
            if (opaque) {
                EXPECT_EQ(shown, d.Width * d.Height) << "image " << n + 1;
            }
            EXPECT_FALSE(onBorder) << "image " << n + 1;
        }
    }
}

TEST(SheetsTest, NeighbouringImagesDiffer) {
    // Animated sheets must move: two images in a row that are the same would stutter. The bag's
    // flashing and the lettering are different by nature; the check covers the figures.
    for (const char* name :
         {"snackortanz01", "snackortanz02", "snackortanz03", "snackortanz04", "snackorwartlr",
          "snackorwalklr", "snackorpushrl", "chip1a", "pepper1a", "chip1b", "pepper1b", "chip1c",
          "pepper1c", "intro", "Partikel", "points", "Korvald_font"}) {
        SCOPED_TRACE(name);
        const TBitmapImage sheet = Read(SheetFolder / (std::string(name) + ".bmp"), false);
        ASSERT_FALSE(sheet.Empty());
        const std::vector<TDeclared> declared = DeclaredSheets();
        const auto d = std::find_if(declared.begin(), declared.end(),
                                    [&](const TDeclared& e) { return e.Name == name; });
        ASSERT_NE(d, declared.end());
        for (int n = 1; n < d->Count; ++n) {
            bool differs = false;
            for (int y = 0; y < d->Height && !differs; ++y)
                differs = std::memcmp(sheet.Row((n - 1) * d->Height + y),
                                      sheet.Row(n * d->Height + y), size_t(d->Width) * 3) != 0;
            EXPECT_TRUE(differs) << "images " << n << " and " << n + 1;
        }
    }
}
