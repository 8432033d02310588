#include "gamelib/printtextunit.h"

#include "SpriteScriptBlocks.h"
#include "TestSupport.h"
#include "gamelib/DDUtil.h"
#include "gamelib/EngineState.h"
#include "gamelib/SpriteUnit.h"
#include "platform/canvas.h"

#include <QRect>
#include <cstring>
#include <gtest/gtest.h>

namespace {

class PrintTextTest : public ::testing::Test {
  protected:
    void SetUp() override { Engine.OpenHeadless(32); }

    PDirectDrawSurface Surface(int32_t w, int32_t h, uint32_t background) {
        PDirectDrawSurface s = CreateSurface(w, h, true);
        Colorfill(s, background);
        return s;
    }
    // The colour of a pixel of a 32-bit surface.
    static uint32_t PixelAt(const TDirectDrawSurface& s, int32_t x, int32_t y) {
        return ::PixelAt(s, x, y) & 0xFFFFFF;
    }
    // Bounding box of the pixels that differ from the background.
    static QRect Drawn(const TDirectDrawSurface& s, uint32_t background) {
        QRect box;
        for (int y = 0; y < s.Height(); ++y)
            for (int x = 0; x < s.Width(); ++x)
                if (PixelAt(s, x, y) != background) box |= QRect(x, y, 1, 1);
        return box;
    }
    static int Count(const TDirectDrawSurface& s, uint32_t value) {
        int n = 0;
        for (int y = 0; y < s.Height(); ++y)
            for (int x = 0; x < s.Width(); ++x)
                n += PixelAt(s, x, y) == value;
        return n;
    }
    TEngineState Engine;
};

constexpr uint32_t Grey = 0x606060;

} // namespace

TEST_F(PrintTextTest, OutlineColourFollowsTheTextColour) {
    // Colours are 0x00BBGGRR, pixels 0xRRGGBB. A text whose three components sum to 128 or
    // less is outlined in white, a lighter one in 0x0F0F0F; without an outline neither shows.
    struct TCase {
        uint32_t Color;
        int32_t Outline;
        uint32_t Text, Edge;
    };
    for (const TCase c :
         {TCase{0x000000, 1, 0x000000, 0xFFFFFF}, TCase{0xFFFFFF, 1, 0xFFFFFF, 0x0F0F0F},
          TCase{0x000080, 1, 0x800000, 0xFFFFFF}, TCase{0x000081, 1, 0x810000, 0x0F0F0F},
          TCase{0x0000FF, 0, 0xFF0000, 0xFF0000}}) {
        SCOPED_TRACE(testing::Message() << std::hex << c.Color);
        const PDirectDrawSurface s = Surface(200, 60, Grey);
        PrintText(10, 10, "Halo", s, fsBold, 20, "Arial", c.Outline, c.Color, 0, 0);
        EXPECT_GT(Count(*s, c.Text), 20);
        EXPECT_GT(Count(*s, c.Edge), 20);
        for (const uint32_t edge : {0xFFFFFFu, 0x0F0F0Fu})
            if (edge != c.Edge && edge != c.Text) {
                EXPECT_EQ(Count(*s, edge), 0) << edge;
            }
    }
}

TEST_F(PrintTextTest, LoadingIsDrawnCentredAtItsSize) {
    const PDirectDrawSurface screen = Surface(800, 600, Grey);
    PrintText(400, 300, "Loading...", screen, fsBold, 24, "Arial", 1, 0, 1, 2);
    const QRect big = Drawn(*screen, Grey);
    // Size 24 on a 96 dpi desktop: 32-pixel cells, drawn centred.
    int32_t width24, height24;
    {
        TCanvas canvas(screen);
        canvas.SetFontStyle(fsBold);
        canvas.SetFontSize(24);
        width24 = canvas.TextWidth("Loading...");
        height24 = canvas.TextHeight("Loading...");
    }
    EXPECT_GE(height24, 32);
    EXPECT_NEAR(big.width(), width24 + 2, 6);
    EXPECT_LE(big.height(), height24 + 2);
    EXPECT_GT(big.height(), height24 / 2);
    EXPECT_NEAR(big.center().x(), 400, 4);
    EXPECT_NEAR(big.center().y(), 300, height24 / 4);
}

TEST_F(PrintTextTest, TooLongTextIsDrawnAtSizeFiveAndCut) {
    const PDirectDrawSurface s = Surface(30, 12, Grey);
    PrintText(0, 0, "A very long line that cannot fit", s, 0, 30, "Arial", 0, 0xFFFFFF, 0, 0);
    const QRect box = Drawn(*s, Grey);
    ASSERT_FALSE(box.isEmpty());
    EXPECT_EQ(box.right(), 29); // cut at the edge
    EXPECT_LE(box.height(), 9); // size 5 is about 7 pixels high
}

TEST_F(PrintTextTest, Alignments) {
    struct TCase {
        int32_t VAlign, HAlign;
    };
    for (const TCase c : {TCase{0, 0}, TCase{1, 1}, TCase{2, 2}, TCase{0, 2}, TCase{2, 1}}) {
        const PDirectDrawSurface s = Surface(300, 200, Grey);
        PrintText(150, 100, "Mitte", s, 0, 14, "Arial", 1, 0x00FFFF, c.VAlign, c.HAlign);
        const QRect box = Drawn(*s, Grey);
        ASSERT_FALSE(box.isEmpty());
        SCOPED_TRACE(testing::Message() << "v" << c.VAlign << " h" << c.HAlign);
        if (c.HAlign == 0) {
            EXPECT_GE(box.left(), 150);
            EXPECT_LE(box.left(), 154);
        } else if (c.HAlign == 1) {
            EXPECT_LE(box.right(), 149);
            EXPECT_GE(box.right(), 144);
        } else {
            EXPECT_NEAR(box.center().x(), 150, 3);
        }
        if (c.VAlign == 0) {
            EXPECT_GE(box.top(), 100);
        } else if (c.VAlign == 2) {
            EXPECT_LE(box.bottom(), 99);
        } else {
            EXPECT_LT(box.top(), 100);
            EXPECT_GT(box.bottom(), 100);
        }
    }
}

TEST_F(PrintTextTest, MarginsMakeTheTextShrink) {
    const PDirectDrawSurface wide = Surface(300, 60, Grey);
    PrintTextEx(0, 0, "Punkte", wide, 0, 30, "Arial", 0, 0xFFFFFF, 0, 0, 0, 0, 0, 0);
    const PDirectDrawSurface narrow = Surface(300, 60, Grey);
    PrintTextEx(0, 0, "Punkte", narrow, 0, 30, "Arial", 0, 0xFFFFFF, 0, 0, 0, 0, 250, 0);
    const QRect free = Drawn(*wide, Grey), squeezed = Drawn(*narrow, Grey);
    EXPECT_GT(free.width(), 60);
    EXPECT_LE(squeezed.right(), 51);
    EXPECT_LT(squeezed.height(), free.height());
}

TEST_F(PrintTextTest, LostSurfaceRaises) {
    const PDirectDrawSurface s = Surface(100, 30, Grey);
    DirectDrawObject->LoseAllSurfaces();
    EXPECT_THROW(PrintText(0, 0, "x", s, 0, 10, "Arial", 1, 0, 0, 0), EDirectXSurfaceLostError);
}

namespace {

// A font of a wide glyph "W" (all 50 columns), a narrow "i" (columns 20..29) and a blank for
// characters outside the set; big digits and their target field.
class SpriteTextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Engine.OpenHeadless(32);
        std::vector<std::string> digits;
        for (int d = 0; d <= 10; ++d)
            digits.push_back(std::string(1, d < 10 ? char('0' + d) : '-') + "        " +
                             std::to_string(d + 1) + "; (002/000)");
        LoadAllObjects(SplitLines(
            Block("font", "CreateAnimation", 50, 60, 3, 3, 1, {"ABC      1-3; (002/000)"}) +
            Block("feld", "CreateAnimation", 300, 60, 1, 1, 1, {"standard 001; (002/000)"}) +
            Block("bignumbers", "CreateAnimation", 230, 222, 11, 11, 1, digits) +
            Block("bigtimefeld", "CreateAnimation", 460, 222, 1, 1, 1,
                  {"standard 001; (002/000)"})));
        Colorfill(SurfaceTable[1].Surface, 50, 0, 50, 60, 0xFF0000);
        Colorfill(SurfaceTable[1].Surface, 120, 0, 10, 60, 0x00FF00);
        Colorfill(SurfaceTable[3].Surface, 0, 0, 230, 222, 0x111111);       // 0
        Colorfill(SurfaceTable[3].Surface, 9 * 230, 0, 230, 222, 0x999999); // 9
    }
    // Columns of the field's middle row that show a colour, as "from-to" runs.
    std::string Runs(int32_t surface, int32_t width, int32_t y) {
        std::string runs;
        for (int32_t x = 0; x < width; ++x) {
            if (GetPixelColor(SurfaceTable[size_t(surface)].Surface, x, y) == 0) continue;
            int32_t end = x;
            while (end + 1 < width &&
                   GetPixelColor(SurfaceTable[size_t(surface)].Surface, end + 1, y) != 0)
                ++end;
            runs += (runs.empty() ? "" : " ") + std::to_string(x) + "-" + std::to_string(end);
            x = end;
        }
        return runs;
    }
    TTempProgramFolder Folder;
    TEngineState Engine;
};

} // namespace

TEST_F(SpriteTextTest, KerningPushesWideGlyphsApart) {
    const int32_t font = GetAnimation("font"), field = GetAnimation("feld");
    PrintSpriteText("Wi", field, 0, 0, SpriteAlignLeft, 33, " Wi", font);
    EXPECT_EQ(Runs(2, 300, 30), "0-49 53-62"); // narrow neighbours keep the advance
    PrintSpriteText("WWi", field, 0, 0, SpriteAlignLeft, 33, " Wi", font);
    EXPECT_EQ(Runs(2, 300, 30), "0-99 103-112"); // pushed 17 apart, and the "i" with them
    PrintSpriteText("WWi", field, 0, 0, SpriteAlignLeft, 10033, " Wi", font);
    EXPECT_EQ(Runs(2, 300, 30), "0-82 86-95");
    // Characters outside the set draw the blank; right alignment; advance 0 is the glyph width.
    PrintSpriteText("xW", field, 0, 0, SpriteAlignRight, 10000, " Wi", font);
    EXPECT_EQ(Runs(2, 300, 30), "250-299");
    PrintSpriteText("W", field, 0, 0, SpriteAlignCentre, 33, " Wi", font);
    EXPECT_EQ(Runs(2, 300, 30), "125-174");
    PrintSpriteText("", field, 0, 0, SpriteAlignCentre, 33, " Wi", font);
    EXPECT_EQ(Runs(2, 300, 30), "");
}

TEST_F(SpriteTextTest, NumbersInBigDigits) {
    const int32_t digits = GetAnimation("bignumbers"), field = GetAnimation("bigtimefeld");
    PrintNumber(90, 0, field, 0, SpriteAlignCentre, digits);
    EXPECT_EQ(GetPixelColor(SurfaceTable[4].Surface, 0, 100), 0x999999u);
    EXPECT_EQ(GetPixelColor(SurfaceTable[4].Surface, 229, 100), 0x999999u);
    EXPECT_EQ(GetPixelColor(SurfaceTable[4].Surface, 230, 100), 0x111111u);
    EXPECT_EQ(GetPixelColor(SurfaceTable[4].Surface, 459, 221), 0x111111u);
    PrintNumber(0, 7, field, 0, SpriteAlignLeft, digits); // seven characters: left empty
    EXPECT_EQ(Runs(4, 460, 100), "");
    PrintNumber(9, 0, field, 0, SpriteAlignRight, digits);
    EXPECT_EQ(Runs(4, 460, 100), "230-459");
}
