#include "platform/canvas.h"

#include "TestSupport.h"

#include <QFontInfo>
#include <cstring>
#include <gtest/gtest.h>

namespace {

struct TDevice {
    std::shared_ptr<THeadlessDisplay> Display = std::make_shared<THeadlessDisplay>();
    PDirectDraw DirectDraw = std::make_shared<TDirectDraw>(Display);
    PDirectDrawSurface Surface(int32_t w, int32_t h, int bits) {
        return MakeSurface(*DirectDraw, w, h, bits);
    }
};

// Bounding box of the pixels that are not zero.
QRect Drawn(const TDirectDrawSurface& s) {
    QRect box;
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x)
            if (PixelAt(s, x, y) & 0xFFFFFF) box |= QRect(x, y, 1, 1);
    return box;
}

// The device's answer a canvas on the surface is refused with, DD_OK when it opens.
HRESULT Refusal(const PDirectDrawSurface& s) {
    try {
        TCanvas canvas(s);
    } catch (const ECanvasError& e) {
        return e.Code;
    }
    return DD_OK;
}

} // namespace

TEST(Canvas, LocksForItsLifetime) {
    TDevice device;
    const PDirectDrawSurface s = device.Surface(16, 16, 32);
    {
        TCanvas canvas(s);
        EXPECT_TRUE(s->Locked());
        EXPECT_EQ(canvas.Width(), 16);
        EXPECT_EQ(canvas.Height(), 16);
        EXPECT_EQ(Refusal(s), DDERR_SURFACEBUSY) << "a second canvas on a locked surface";
    }
    EXPECT_FALSE(s->Locked());
    s->MarkLost();
    EXPECT_EQ(Refusal(s), DDERR_SURFACELOST);
    const PDirectDrawSurface none;
    EXPECT_THROW(TCanvas{none}, std::runtime_error);
}

TEST(Canvas, OnlyTheDisplayFormatsHaveAnImageFormat) {
    EXPECT_EQ(SurfaceImageFormat(PixelFormatForDepth(16)), QImage::Format_RGB16);
    EXPECT_EQ(SurfaceImageFormat(PixelFormatForDepth(24)), QImage::Format_BGR888);
    EXPECT_EQ(SurfaceImageFormat(PixelFormatForDepth(32)), QImage::Format_RGB32);
    // A guess would read a surface's memory in the wrong pixel size or channel order.
    EXPECT_EQ(SurfaceImageFormat(TDDPixelFormat{8, 0xE0, 0x1C, 0x03}), QImage::Format_Invalid);
    EXPECT_EQ(SurfaceImageFormat(TDDPixelFormat{16, 0x7C00, 0x03E0, 0x001F}),
              QImage::Format_Invalid);
    EXPECT_EQ(SurfaceImageFormat(TDDPixelFormat{32, 0xFF, 0xFF00, 0xFF0000}),
              QImage::Format_Invalid);
    TDevice device;
    TDDSurfaceDesc desc;
    desc.Flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.Caps = DDSCAPS_OFFSCREENPLAIN;
    desc.Width = desc.Height = 4;
    desc.PixelFormat = TDDPixelFormat{32, 0xFF, 0xFF00, 0xFF0000};
    PDirectDrawSurface bgr;
    ASSERT_EQ(device.DirectDraw->CreateSurface(desc, bgr), DD_OK);
    EXPECT_THROW(TCanvas{bgr}, std::runtime_error);
    EXPECT_FALSE(bgr->Locked());
}

// The glyphs are the same in every depth: Qt's own 16-bit text path draws them at half height,
// twice side by side, so the 16-bit surface is compared with the 32-bit one pixel by pixel.
TEST(Canvas, TextLandsInEveryDepthInTheFontColourWithTheSameGlyphs) {
    TDevice device;
    std::vector<std::vector<bool>> lit;
    // Red as 0x00BBGGRR, written in each surface's own format.
    const uint32_t red[] = {0xF800, 0xFF0000, 0xFF0000};
    int i = 0;
    for (int bits : {16, 24, 32}) {
        const PDirectDrawSurface s = device.Surface(80, 30, bits);
        {
            TCanvas canvas(s);
            canvas.SetFontName("Arial");
            canvas.SetFontSize(12);
            canvas.SetFontStyle(fsBold);
            canvas.SetFontColor(0x0000FF);
            canvas.TextOut(2, 3, "Hg");
        }
        const QRect box = Drawn(*s);
        ASSERT_FALSE(box.isEmpty()) << bits;
        EXPECT_GE(box.left(), 2);
        EXPECT_GE(box.top(), 3);
        bool sawRed = false;
        lit.emplace_back();
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 80; ++x) {
                const uint32_t v = PixelAt(*s, x, y) & (bits == 16 ? 0xFFFF : 0xFFFFFF);
                EXPECT_TRUE(v == 0 || v == red[i]) << bits << " bits: " << std::hex << v;
                sawRed |= v == red[i];
                lit.back().push_back(v != 0);
            }
        EXPECT_TRUE(sawRed);
        ++i;
    }
    EXPECT_EQ(lit[0], lit[2]) << "16-bit glyphs differ from the 32-bit ones";
    EXPECT_EQ(lit[1], lit[2]) << "24-bit glyphs differ from the 32-bit ones";
}

TEST(Canvas, FontsAndMeasures) {
    TDevice device;
    const PDirectDrawSurface s = device.Surface(300, 60, 32);
    TCanvas canvas(s);
    canvas.SetFontName("Arial");
    canvas.SetFontSize(24);
    // Arial comes from fontconfig as its metric twin.
    EXPECT_EQ(QFontInfo(canvas.Painter().font()).family(), "Liberation Sans");
    const int32_t wide = canvas.TextWidth("Loading...");
    EXPECT_GT(wide, 100);
    EXPECT_LT(wide, 160);
    EXPECT_GE(canvas.TextHeight("x"), 32);
    EXPECT_EQ(canvas.TextWidth(""), 0);
    canvas.SetFontStyle(fsBold);
    EXPECT_GT(canvas.TextWidth("Loading..."), wide);
    canvas.SetFontSize(8);
    EXPECT_LT(canvas.TextWidth("Loading..."), wide / 2);
    // UTF-8 text: umlauts count as one glyph each.
    EXPECT_LT(canvas.TextWidth("\xC3\xA4\xC3\xB6\xC3\xBC"), canvas.TextWidth("aaaaaa"));
}

TEST(Canvas, DrawConvertsPicturesAndCutsAtTheEdges) {
    TDevice device;
    for (int bits : {16, 24, 32}) {
        const PDirectDrawSurface s = device.Surface(10, 10, bits);
        QImage picture(6, 6, QImage::Format_RGB32);
        picture.fill(QColor(0, 0, 255));
        {
            TCanvas canvas(s);
            canvas.Draw(7, 7, picture);
        }
        const uint32_t blue = bits == 16 ? 0x1F : 0xFF;
        EXPECT_EQ(PixelAt(*s, 9, 9) & 0xFFFFFF, blue) << bits;
        EXPECT_EQ(PixelAt(*s, 7, 7) & 0xFFFFFF, blue) << bits;
        EXPECT_EQ(PixelAt(*s, 6, 7) & 0xFFFFFF, 0u) << bits;
    }
}
