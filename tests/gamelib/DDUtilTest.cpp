#include "gamelib/DDUtil.h"

#include "gamelib/EngineState.h"

#include "ErrorOf.h"
#include "TestSupport.h"
#include "platform/bmp.h"
#include "platform/jpeg.h"
#include "platform/resources.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <array>
#include <random>

namespace {

void SetPixel(const PDirectDrawSurface& s, int32_t x, int32_t y, uint32_t v) {
    const int bytes = static_cast<int>(s->Format().RGBBitCount / 8);
    const TSurfaceLock lock(*s);
    ASSERT_TRUE(lock.Locked());
    std::memcpy(lock.Row(y) + x * bytes, &v, bytes);
}

// Random pixel values over all bytes of each pixel, every fourth one the key 0.
void Scatter(const PDirectDrawSurface& s, uint32_t seed) {
    std::mt19937 random(seed);
    for (int32_t y = 0; y < s->Height(); ++y)
        for (int32_t x = 0; x < s->Width(); ++x)
            SetPixel(s, x, y, random() % 4 == 0 ? 0 : static_cast<uint32_t>(random()));
}

PDirectDrawSurface MakeSurface(int bits, int32_t w, int32_t h, TDDPixelFormat format = {}) {
    TDDSurfaceDesc desc;
    desc.Flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.Width = w;
    desc.Height = h;
    desc.Caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    desc.PixelFormat = format.RGBBitCount ? format : PixelFormatForDepth(bits);
    PDirectDrawSurface s;
    DXCheck(DirectDrawObject->CreateSurface(desc, s));
    return s;
}

// One channel of a pixel as a number, and back: the test's own view of the formats.
struct TChannel {
    int Shift, Bits;
};
std::array<TChannel, 3> Channels(int bits) {
    if (bits == 16) return {TChannel{11, 5}, TChannel{5, 6}, TChannel{0, 5}};
    return {TChannel{16, 8}, TChannel{8, 8}, TChannel{0, 8}};
}

// What a blend writes for front pixel f over back pixel k, channel by channel: an alpha map's
// weight a of 0 keeps the back, 255 takes the front, others weigh 255 - a and a; a constant
// alpha weighs 256 - a and a; a keyed front pixel 0 keeps the back.
uint32_t Blended(int bits, uint32_t k, uint32_t f, uint32_t a, bool mapped, bool keyed) {
    if ((keyed && (f & (bits == 16 ? 0xFFFFu : 0xFFFFFFu)) == 0) || (mapped && a == 0)) return k;
    if (mapped && a == 255) return f;
    uint32_t out = 0;
    for (const TChannel c : Channels(bits)) {
        const uint32_t top = (1u << c.Bits) - 1;
        const uint32_t kc = (k >> c.Shift) & top, fc = (f >> c.Shift) & top;
        out |= ((kc * ((mapped ? 255 : 256) - a) + fc * a) >> 8) << c.Shift;
    }
    return out;
}

// Blends front's rectangle f over rectangle b of a scattered back, in place (as drawn) or onto
// an output of b's size, and compares every pixel with the formula: back pixel x, y of b takes
// front pixel x * fw / bw, y * fh / bh of f. Nothing beside b changes.
testing::AssertionResult Blends(int bits, const PDirectDrawSurface& front, const PAlphaMap& map,
                                TRect f, TRect b, int alpha, bool keyed, bool inPlace) {
    const bool mapped = alpha < 0;
    const int32_t W = 74, H = 10, stride = (front->Width() + 3) & ~3;
    const PDirectDrawSurface back = MakeSurface(bits, W, H), before = MakeSurface(bits, W, H);
    const PDirectDrawSurface out = MakeSurface(bits, b.Width(), b.Height());
    Scatter(back, 8);
    Scatter(before, 8);
    Scatter(out, 9);
    if (inPlace)
        DrawImageScaled(front, mapped ? map : nullptr, f.Left, f.Top, f.Width(), f.Height(), back,
                        b.Left, b.Top, b.Width(), b.Height(), keyed, mapped ? 255 : alpha, 0, 0,
                        W - 1, H - 1);
    else if (mapped)
        AlphaMapBlend(back, front, out, f, b, map, keyed);
    else
        AlphaBlendScaled(back, front, out, f, b, alpha, keyed);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            uint32_t expected = PixelAt(*before, x, y), got = PixelAt(*back, x, y);
            if (x >= b.Left && x < b.Right && y >= b.Top && y < b.Bottom) {
                const int32_t fx = f.Left + (x - b.Left) * f.Width() / b.Width();
                const int32_t fy = f.Top + (y - b.Top) * f.Height() / b.Height();
                const uint32_t a = mapped ? map->Bytes[size_t(fy * stride + fx)] : uint32_t(alpha);
                expected = Blended(bits, expected, PixelAt(*front, fx, fy), a, mapped, keyed);
                if (!inPlace) got = PixelAt(*out, x - b.Left, y - b.Top);
            }
            if (got != expected)
                return testing::AssertionFailure() << std::hex << got << " instead of " << expected
                                                   << " at " << std::dec << x << "," << y;
        }
    return testing::AssertionSuccess();
}

void Number(const PDirectDrawSurface& s) {
    for (int32_t y = 0; y < s->Height(); ++y)
        for (int32_t x = 0; x < s->Width(); ++x)
            SetPixel(s, x, y, static_cast<uint32_t>(y * 100 + x + 1));
}

// The engine state of a 32-bit headless device of 64 x 48 with front and back surfaces.
class DDUtilTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(Folder.File("SPS"));
        Display = Engine.OpenHeadless(32);
    }
    TTempProgramFolder Folder;
    TEngineState Engine{64, 48};
    std::shared_ptr<THeadlessDisplay> Display;
};

} // namespace

TEST(DDUtilChecks, ResultsBecomeExceptions) {
    const TEngineState engine;
    EXPECT_NO_THROW(DXCheck(DD_OK));
    // The plain check knows no lost surfaces; the surface check does.
    EXPECT_THROW(DXCheck(DDERR_SURFACELOST), EDirectXError);
    EXPECT_FALSE(SurfaceLost);
    EXPECT_THROW(DXCheckSurface(DDERR_SURFACELOST), EDirectXSurfaceLostError);
    EXPECT_TRUE(SurfaceLost);
    const TEngineState nothingLost; // an engine of its own starts with the flag down
    try {
        DXCheckSurface(DDERR_INVALIDRECT);
        ADD_FAILURE();
    } catch (const EDirectXError& e) {
        EXPECT_FALSE(dynamic_cast<const EDirectXSurfaceLostError*>(&e)) << "not a lost surface";
        EXPECT_EQ(e.Code, DDERR_INVALIDRECT);
        EXPECT_STREQ(e.what(), "Rectangle provided was invalid.");
    }
    EXPECT_FALSE(SurfaceLost);
    EXPECT_EQ(DDErrorString(MakeDDHResult(9999)), "Unrecognized Error");
}

TEST_F(DDUtilTest, ColourToPixelInEachFormat) {
    const PDirectDrawSurface s = MakeSurface(16, 1, 1);
    EXPECT_EQ(ColorToPixel(s, 0xFFFFFF), 0xFFFFu);
    EXPECT_EQ(ColorToPixel(s, 0xFF0000), 0xF800u);
    EXPECT_EQ(ColorToPixel(s, 0x00FF00), 0x07E0u);
    EXPECT_EQ(ColorToPixel(s, 0x000000), 0u);
    EXPECT_EQ(ColorToPixel(s, 0x808080), (15u << 11) | (31u << 5) | 15u);
    EXPECT_EQ(ColorToPixel(MakeSurface(24, 1, 1), 0x123456), 0x123456u);
    EXPECT_THROW(ColorToPixel(nullptr, 0), std::runtime_error);
    // The shifting conversion moves each component's top bit onto its channel's top bit.
    EXPECT_EQ(ColorToPixelShifted(s, 0x808080), 0x8410u);
    EXPECT_EQ(ColorToPixelShifted(s, 0xFFFFFF), 0xFFFFu);
    EXPECT_EQ(ColorToPixelShifted(MakeSurface(32, 1, 1), 0x123456), 0x123456u);
}

TEST_F(DDUtilTest, PixelsKeepTheirBitsOutsideTheColourChannels) {
    const PDirectDrawSurface s = MakeSurface(32, 3, 2);
    SetPixel(s, 1, 1, 0xAB123456);
    SetPixel(s, 2, 1, 0x00123457);
    EXPECT_EQ(GetPixelColor(s, 1, 1), 0x123456u);
    ReplaceColor(s, 0x123456, 0x00FF00);
    EXPECT_EQ(PixelAt(*s, 1, 1), 0xAB00FF00u);
    EXPECT_EQ(PixelAt(*s, 2, 1), 0x00123457u);
    const PDirectDrawSurface s16 = MakeSurface(16, 2, 1);
    ReplaceColor(s16, 0, 0xFF0000);
    EXPECT_EQ(GetPixelColor(s16, 1, 0), 0xF800u);
    EXPECT_THROW(GetPixelColor(s16, 2, 0), EDirectXError);
    EXPECT_FALSE(s16->Locked()); // unlocked again after the failure
}

TEST_F(DDUtilTest, OpaqueRowEdgesAreCountedFromTheRectanglesLeft) {
    for (const int bits : {16, 24, 32}) {
        const PDirectDrawSurface s = MakeSurface(bits, 8, 5);
        // Inside the rectangle (2,1)-(7,4): row 0 from column 1 to 3, row 1 key alone, row 2
        // its last column only; a pixel outside the rectangle does not count.
        SetPixel(s, 3, 1, 7);
        SetPixel(s, 5, 1, 7);
        SetPixel(s, 6, 3, 7);
        SetPixel(s, 0, 2, 7);
        std::vector<int32_t> left, right;
        OpaqueRowEdges(s, TRect{2, 1, 7, 4}, 0, left, right);
        EXPECT_EQ(left, (std::vector<int32_t>{1, 4, 4})) << bits;
        EXPECT_EQ(right, (std::vector<int32_t>{3, 0, 4})) << bits;
        EXPECT_THROW(OpaqueRowEdges(s, TRect{4, 0, 9, 2}, 0, left, right), EDirectXError);
        EXPECT_FALSE(s->Locked());
    }
}

TEST_F(DDUtilTest, TheSurfaceTableHolds999Surfaces) {
    int32_t w = 1, h = 1;
    PDirectDrawSurface s;
    for (int32_t i = 1; i <= 999; ++i)
        ASSERT_EQ(CreateMemSurface("", w, h, s, DDSCAPS_SYSTEMMEMORY, i == 999), i);
    EXPECT_EQ(SurfaceTable[999].Surface, s);
    TDDColorKey key;
    EXPECT_EQ(s->GetColorKey(DDCKEY_SRCBLT, key), DD_OK);
    EXPECT_EQ(ErrorOf([&] { CreateMemSurface("", w, h, s, DDSCAPS_SYSTEMMEMORY, false); }),
              "Exception raised in creatememsurface: Too many surfaces");
    FreeSurfaceTable();
    EXPECT_EQ(SurfaceCount, 0);
    EXPECT_FALSE(SurfaceTable[999].Surface);
    // A picture's size comes back; a missing one stays registered and cannot take a key.
    WriteBitmap(Folder.File("sheet.bmp"), 7, 3, 24, {}, [](int32_t, int32_t) { return 0x10; });
    EXPECT_EQ(CreateMemSurface("sheet.bmp", w, h, s, 0, true), 1);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(7, 3));
    EXPECT_EQ(SurfaceTable[1].FileName, "sheet.bmp");
    EXPECT_EQ(ErrorOf([&] { CreateMemSurface("missing", w, h, s, 0, true); }),
              "SetColorKey failed");
    EXPECT_EQ(SurfaceCount, 2);
    FreeSurfaceTable();
}

TEST_F(DDUtilTest, CreateSurfaceNeedsTheDevice) {
    const PDirectDrawSurface s = CreateSurface(30, 20, true);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Width(), 30);
    EXPECT_TRUE(s->Caps() & DDSCAPS_SYSTEMMEMORY);
    EXPECT_TRUE(s->Caps() & DDSCAPS_OFFSCREENPLAIN);
    PDirectDrawSurface held = s;
    Engine.Release();
    EXPECT_EQ(ErrorOf([&] { CreateSurface(PDirectDraw(), 4, 4, held, 0); }),
              "Direct Draw object not created");
    EXPECT_FALSE(held); // released first
}

TEST_F(DDUtilTest, ColorfillAddsViewOffsetsOnDisplaySurfaces) {
    Engine.SetScreenSize(10, 8);
    Engine.SetViewOffsets(3, 2);
    const PDirectDrawSurface back = GetBackSurface();
    Colorfill(back, 0, 0, 2, 2, 0xFF0000);
    EXPECT_EQ(PixelAt(*back, 3, 2), 0xFF0000u);
    EXPECT_EQ(PixelAt(*back, 4, 3), 0xFF0000u);
    EXPECT_EQ(PixelAt(*back, 2, 2), 0u);
    // Whole: the screen area at the offsets, the border stays.
    Colorfill(back, 0x0000FF);
    EXPECT_EQ(PixelAt(*back, 3, 2), 0xFFu);
    EXPECT_EQ(PixelAt(*back, 12, 9), 0xFFu);
    EXPECT_EQ(PixelAt(*back, 13, 9), 0u);
    EXPECT_EQ(PixelAt(*back, 2, 2), 0u);
    // Off-screen surfaces and the primary take the rectangle as it is.
    EXPECT_FALSE(IsDisplaySurface(GetPrimarySurface()));
    const PDirectDrawSurface plain = CreateSurface(4, 4, true);
    Colorfill(plain, 0x00FF00);
    EXPECT_EQ(PixelAt(*plain, 3, 3), 0xFF00u);
    // A rectangle leaving the surface is reported and logged.
    EXPECT_THROW(Colorfill(plain, 2, 2, 5, 5, 0), EDirectXError);
    const std::vector<std::string> log = LogLines(Folder);
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(log.back().starts_with("Error in Colorfill: "));
    EXPECT_TRUE(log.back().ends_with(" (2,2,5,5,0)"));
}

TEST_F(DDUtilTest, ClippedBlitCutsToTheClipRectangleAndLogsFailures) {
    const PDirectDrawSurface src = CreateSurface(10, 10, true);
    const PDirectDrawSurface dest = CreateSurface(20, 20, true);
    Number(src);
    // Half off the left and top edges: only the visible part is copied.
    ClippedBlit(src, 0, 0, 10, 10, dest, -4, -6, false, 0, 0, 19, 19);
    EXPECT_EQ(PixelAt(*dest, 0, 0), PixelAt(*src, 4, 6));
    EXPECT_EQ(PixelAt(*dest, 5, 3), PixelAt(*src, 9, 9));
    EXPECT_EQ(PixelAt(*dest, 6, 0), 0u);
    // Past the right and bottom clip limits.
    ClippedBlit(src, 0, 0, 10, 10, dest, 15, 15, false, 0, 0, 16, 17);
    EXPECT_EQ(PixelAt(*dest, 16, 17), PixelAt(*src, 1, 2));
    EXPECT_EQ(PixelAt(*dest, 17, 17), 0u);
    EXPECT_EQ(PixelAt(*dest, 16, 18), 0u);
    // Wholly outside: nothing, and no error.
    EXPECT_NO_THROW(ClippedBlit(src, 0, 0, 10, 10, dest, 20, 0, false, 0, 0, 19, 19));
    EXPECT_NO_THROW(ClippedBlit(src, 0, 0, 10, 10, dest, -10, 0, false, 0, 0, 19, 19));
    // The short form clips against 0..right, 0..bottom and honours the colour key.
    const TDDColorKey key{PixelAt(*src, 1, 0), PixelAt(*src, 1, 0)};
    src->SetColorKey(DDCKEY_SRCBLT, &key);
    const PDirectDrawSurface target = CreateSurface(4, 4, true);
    ClippedBlit(target, 0, 0, src, TRect{0, 0, 8, 8}, 3, 3, true);
    EXPECT_EQ(PixelAt(*target, 0, 0), PixelAt(*src, 0, 0));
    EXPECT_EQ(PixelAt(*target, 1, 0), 0u);
    EXPECT_EQ(PixelAt(*target, 3, 3), PixelAt(*src, 3, 3));
    // Onto the back at the view offsets.
    Engine.SetViewOffsets(5, 1);
    ClippedBlit(src, 0, 0, 4, 4, GetBackSurface(), 0, 0, false, 0, 0, 63, 47);
    EXPECT_EQ(PixelAt(*GetBackSurface(), 5, 1), 1u);
    // The offset pushes the copy past the surface: the device refuses and the log tells why.
    EXPECT_THROW(ClippedBlit(src, 0, 0, 4, 4, GetBackSurface(), 60, 0, false, 0, 0, 63, 47),
                 EDirectXError);
    const std::vector<std::string> log = LogLines(Folder);
    ASSERT_GE(log.size(), 16u);
    EXPECT_NE(log[log.size() - 16].find("Rectangle provided was invalid."), std::string::npos);
    EXPECT_EQ(log[log.size() - 2], "ARect:0;0;4;4");
    EXPECT_EQ(log.back(), "DRect:65;1;69;5");
    // A lost destination raises the lost-surface error.
    DirectDrawObject->LoseAllSurfaces();
    EXPECT_THROW(ClippedBlit(src, 0, 0, 4, 4, GetBackSurface(), 0, 0, false, 0, 0, 63, 47),
                 EDirectXSurfaceLostError);
}

TEST_F(DDUtilTest, ImagesComeFromBitmapsThenJpegsThenCompiledInPictures) {
    // File names differ in case from the paths asked for; the extension asked for is replaced.
    std::filesystem::create_directory(Folder.File("GFX"));
    QImage green(12, 8, QImage::Format_RGB32);
    green.fill(QColor(0, 255, 0));
    const std::vector<uint8_t> jpeg = EncodeJpeg(green, 100);
    WriteWholeFile(Folder.File("GFX/Photo.JPG"), std::string(jpeg.begin(), jpeg.end()));
    EXPECT_TRUE(ImageExists("gfx\\photo.bmp"));
    PDirectDrawSurface s;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(LoadImageToSurface("gfx\\photo", s, w, h));
    EXPECT_EQ((std::vector<int32_t>{w, h, s->Width(), s->Height()}),
              (std::vector<int32_t>{12, 8, 12, 8}));
    EXPECT_TRUE(s->Caps() & DDSCAPS_SYSTEMMEMORY);
    EXPECT_GT(PixelAt(*s, 6, 4) & 0xFF00, 0xF000u);
    EXPECT_EQ(LogLines(Folder).back(), "gfx\\photo.jpg loaded as file");
    // A bitmap goes first; into an existing, smaller surface it is copied at 0,0 and cut.
    WriteBitmap(Folder.File("GFX/photo.BMP"), 5, 3, 24, {},
                [](int32_t, int32_t) { return 0xFF0000; });
    PDirectDrawSurface small = CreateSurface(4, 2, false);
    ASSERT_TRUE(LoadImageToSurface("gfx\\photo.jpg", small));
    EXPECT_EQ(small->Width(), 4);
    EXPECT_EQ(PixelAt(*small, 3, 1) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(LogLines(Folder).back(), "gfx\\photo.bmp loaded as file");
    // A damaged bitmap is not looked past: the picture is not found.
    WriteWholeFile(Folder.File("GFX/photo.BMP"), "BM broken");
    EXPECT_TRUE(ImageExists("gfx\\photo"));
    EXPECT_FALSE(LoadImageToSurface("gfx\\photo", small));
    EXPECT_EQ(LogLines(Folder).back(), "gfx\\photo not found!");
    EXPECT_FALSE(ImageExists("gfx\\missing"));
    // A compiled-in picture stands in only where no file of that name exists, without a log line.
    ASSERT_TRUE(ResourceExists("JPEG", "LOADERPIC"));
    PDirectDrawSurface loader;
    EXPECT_TRUE(ImageExists("gfx\\loaderpic"));
    size_t logBefore = LogLines(Folder).size();
    ASSERT_TRUE(LoadImageToSurface("gfx\\loaderpic", loader));
    EXPECT_EQ(loader->Width(), 800);
    EXPECT_EQ(LogLines(Folder).size(), logBefore);
    // A sprite sheet never takes a compiled-in picture.
    PDirectDrawSurface sheet;
    EXPECT_FALSE(SheetExists("gfx\\loaderpic"));
    EXPECT_FALSE(LoadSheetToSurface("gfx\\loaderpic", sheet));
    EXPECT_FALSE(sheet);
    EXPECT_EQ(LogLines(Folder).back(), "gfx\\loaderpic not found!");
    WriteBitmap(Folder.File("GFX/loaderpic.bmp"), 2, 2, 24, {},
                [](int32_t, int32_t) { return 0x0000FF; });
    PDirectDrawSurface file;
    ASSERT_TRUE(LoadImageToSurface("gfx\\loaderpic", file));
    EXPECT_EQ(file->Width(), 2);
    EXPECT_TRUE(SheetExists("gfx\\loaderpic"));
    ASSERT_TRUE(LoadSheetToSurface("gfx\\loaderpic", sheet));
    EXPECT_EQ(sheet->Width(), 2);
    EXPECT_EQ(LogLines(Folder).back(), "gfx\\loaderpic.bmp loaded as file");
}

TEST_F(DDUtilTest, MasksTurnPixelsIntoTheKeyColour) {
    // White mask pixels make the sprite transparent; black sprite pixels under black mask
    // pixels become 1 and stay visible; other bits of a pixel survive.
    for (const int bits : {16, 24, 32}) {
        const PDirectDrawSurface s = MakeSurface(bits, 4, 1);
        SetPixel(s, 0, 0, bits == 32 ? 0xAA123456 : 0x1234);
        SetPixel(s, 1, 0, bits == 32 ? 0xAA000000 : 0);
        SetPixel(s, 2, 0, 0x77);
        SetPixel(s, 3, 0, 0);
        WriteBitmap(Folder.File("m.bmp"), 4, 1, 24, {},
                    [](int32_t x, int32_t) { return x == 0 || x == 2 ? 0xFFFFFF : 0; });
        ApplyMaskImage(s, "m.bmp", 0);
        EXPECT_EQ(PixelAt(*s, 0, 0), bits == 32 ? 0xAA000000u : 0u) << bits;
        EXPECT_EQ(PixelAt(*s, 1, 0), bits == 32 ? 0xAA000001u : 1u) << bits;
        EXPECT_EQ(PixelAt(*s, 2, 0), 0u) << bits;
        EXPECT_EQ(PixelAt(*s, 3, 0), 1u) << bits;
    }
    // Each mask format judges "black" its own way.
    const PDirectDrawSurface s = MakeSurface(16, 9, 1);
    // A mask of one row: the values given, then 0.
    const auto apply = [&](int32_t bits, const std::vector<uint32_t>& palette,
                           const std::vector<uint32_t>& values) {
        for (int32_t x = 0; x < 9; ++x)
            SetPixel(s, x, 0, 0x5555);
        WriteBitmap(Folder.File("m.bmp"), 9, 1, bits, palette, [&](int32_t x, int32_t) {
            return size_t(x) < values.size() ? values[size_t(x)] : 0u;
        });
        ApplyMaskImage(s, "M.bmp", 0);
        std::string set;
        for (int32_t x = 0; x < 9; ++x)
            set += PixelAt(*s, x, 0) == 0 ? '1' : '0';
        return set;
    };
    EXPECT_EQ(apply(1, {0, 0xFFFFFF}, {1, 0, 0, 0, 0, 0, 0, 0, 1}), "100000001");
    // Eight bits: by the palette; indices beyond it are not set.
    EXPECT_EQ(apply(8, {0, 0x010000, 0}, {0, 1, 2, 3, 4, 5, 6, 7, 8}), "010000000");
    // Fifteen bits: the top bit is no colour.
    EXPECT_EQ(apply(16, {}, {0x8000, 1}), "010000000");
    EXPECT_EQ(apply(32, {}, {0xFF000000, 0x100}), "010000000");
    EXPECT_EQ(ErrorOf([&] { apply(4, {0, 0xFFFFFF}, {1, 1}); }), "Invalid pixel format");
    WriteBitmap(Folder.File("m.bmp"), 8, 1, 24, {}, [](int32_t, int32_t) { return 0u; });
    EXPECT_EQ(ErrorOf([&] { ApplyMaskImage(s, "m.bmp", 0); }),
              "Surface and mask image have different dimensions");
    WriteWholeFile(Folder.File("bad.png"), "not a picture");
    EXPECT_EQ(ErrorOf([&] { ApplyMaskImage(s, "bad.png", 0); }), "invalid image format of bad.png");
    SetPixel(s, 0, 0, 0x1234);
    EXPECT_NO_THROW(ApplyMaskImage(s, "nowhere.png", 0));
    EXPECT_EQ(PixelAt(*s, 0, 0), 0x1234u);
}

TEST_F(DDUtilTest, AlphaMapsAreThePaletteIndicesInPaddedRows) {
    WriteBitmap(Folder.File("a_mask.bmp"), 5, 2, 8, {0xFFFFFF, 0},
                [](int32_t x, int32_t y) { return uint32_t(y * 100 + x); });
    const PAlphaMap map = LoadAlphaMap("a_mask.bmp");
    ASSERT_TRUE(map);
    EXPECT_EQ(map->Bytes,
              (std::vector<uint8_t>{0, 1, 2, 3, 4, 0, 0, 0, 100, 101, 102, 103, 104, 0, 0, 0}));
    WriteBitmap(Folder.File("b_mask.bmp"), 5, 2, 24, {}, [](int32_t, int32_t) { return 0u; });
    EXPECT_EQ(ErrorOf([] { LoadAlphaMap("b_mask.bmp"); }), "Bitmap isn't 8bpp");
    EXPECT_FALSE(LoadAlphaMap("c_mask.bmp"));
    Engine.SetAlphaMaps(false);
    EXPECT_FALSE(LoadAlphaMap("a_mask.bmp"));
}

TEST_F(DDUtilTest, ScaledBlendsFollowTheFormulaPixelByPixelInEveryFormat) {
    // A 5 x 3 front stretched onto a 7 x 5 back; 128 as well: half and half has a shortcut of
    // its own in 16 bits. Unscaled rows are the next case's.
    auto map = std::make_shared<TAlphaMap>();
    std::mt19937 random(3);
    map->Bytes.resize(8 * 6);
    for (uint8_t& a : map->Bytes)
        a = random() % 3 == 0 ? uint8_t(random() % 2 * 255) : uint8_t(random());
    for (const int bits : {16, 24, 32}) {
        const PDirectDrawSurface front = MakeSurface(bits, 8, 6);
        Scatter(front, 2);
        const TDDColorKey key{0, 0};
        front->SetColorKey(DDCKEY_SRCBLT, &key);
        for (const int alpha : {-1, 77, 128})
            for (const bool inPlace : {false, true})
                ASSERT_TRUE(Blends(bits, front, map, TRect{1, 1, 6, 4}, TRect{2, 1, 9, 6}, alpha,
                                   true, inPlace))
                    << bits << " bits, alpha " << alpha << ", in place " << inPlace;
    }
}

TEST_F(DDUtilTest, WideBlendsFollowTheFormulaRunByRun) {
    // Rows long enough for the vector loops, with alpha maps in runs of 0, of 255 and of mixed
    // weights that begin and end anywhere; blended in place and onto a separate output.
    constexpr int32_t W = 70, H = 8, Stride = 72;
    std::mt19937 random(5);
    auto map = std::make_shared<TAlphaMap>();
    map->Width = W;
    map->Height = H;
    map->Bytes.assign(size_t(Stride * H), 0);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const auto any = [&] { return uint8_t(random()); };
            // Some runs change halfway through a block of 16 or a short block's last word.
            const uint8_t runs[H] = {uint8_t(x % 8 < 4 ? 255 : 0),
                                     255,
                                     uint8_t(x < 21   ? 0
                                             : x < 50 ? 255
                                                      : any()),
                                     uint8_t(x < 24 || (x >= 32 && x < 48) ? 255
                                             : x < 32                      ? 0
                                                                           : any()),
                                     uint8_t(random() % 3 == 0 ? random() % 2 * 255 : any()),
                                     uint8_t(x % 32 < 24 ? 0 : any()),
                                     uint8_t(x < 4 || x > 66 ? 0 : 255),
                                     any()};
            map->Bytes[size_t(y * Stride + x)] = runs[y];
        }
    for (const int bits : {16, 24, 32}) {
        const PDirectDrawSurface front = MakeSurface(bits, W, H);
        Scatter(front, 7);
        const TDDColorKey key{0, 0};
        front->SetColorKey(DDCKEY_SRCBLT, &key);
        for (const int alpha : {-1, 0, 1, 77, 128, 254})
            for (const bool keyed : {false, true})
                for (const bool inPlace : {false, true})
                    for (const int32_t w : {1, 2, 3, 5, 8, 13, 16, 17, 31, 33, 52, 64, 70})
                        ASSERT_TRUE(Blends(bits, front, map, TRect{0, 0, w, H},
                                           TRect{3, 1, 3 + w, 1 + H}, alpha, keyed, inPlace))
                            << bits << " bits, alpha " << alpha << ", keyed " << keyed
                            << ", in place " << inPlace << ", width " << w;
    }
}

TEST_F(DDUtilTest, BlendsRefuseMismatchedFormatsAndRectangles) {
    const PDirectDrawSurface b16 = MakeSurface(16, 8, 8), f16 = MakeSurface(16, 8, 8),
                             o16 = MakeSurface(16, 4, 4);
    const auto message = [&](const PDirectDrawSurface& back, const PDirectDrawSurface& front,
                             const PDirectDrawSurface& out, TRect frontRect, TRect backRect) {
        return ErrorOf(
            [&] { AlphaBlendScaled(back, front, out, frontRect, backRect, 100, false); });
    };
    const TRect r{0, 0, 4, 4};
    EXPECT_EQ(message(b16, MakeSurface(32, 8, 8), o16, r, r),
              "Back and front surface pixel formats don't match");
    EXPECT_EQ(message(b16, f16, MakeSurface(24, 8, 8), r, r),
              "Back and destination surface pixel formats don't match");
    EXPECT_EQ(message(MakeSurface(32, 2, 2, {32, 0, 0, 0}), f16, o16, r, r), "Not on RGB format");
    EXPECT_EQ(message(MakeSurface(32, 2, 2, {32, 0xFF000000, 0xFF00, 0xFF}), f16, o16, r, r),
              "Pixel format not supported");
    EXPECT_EQ(message(b16, f16, o16, r, TRect{-1, 0, 3, 4}),
              "Back rectangle outside surface boundaries");
    EXPECT_EQ(message(b16, f16, o16, TRect{5, 5, 9, 8}, r),
              "Front rectangle outside surface boundaries");
    EXPECT_EQ(message(b16, f16, o16, r, TRect{0, 0, 5, 4}),
              "Dest rectangle outside surface boundaries");
    EXPECT_EQ(message(b16, f16, o16, r, r), "");
    // A damaged map must still reach the last pixel drawn: rows of the sheet's 8 bytes, the
    // fourth row up to x 4.
    auto map = std::make_shared<TAlphaMap>();
    map->Bytes.assign(3 * 8 + 4 - 1, 0);
    const auto mapped = [&] { AlphaMapBlend(b16, f16, o16, r, r, map, false); };
    EXPECT_EQ(ErrorOf(mapped), "Alpha map smaller than its surface");
    map->Bytes.push_back(0);
    EXPECT_EQ(ErrorOf(mapped), "");
    // Nothing stays locked after a failure.
    for (const PDirectDrawSurface& s : {b16, f16, o16})
        EXPECT_FALSE(s->Locked());
}

TEST_F(DDUtilTest, ScaledDrawingCutsInProportion) {
    const PDirectDrawSurface src = MakeSurface(32, 20, 4), dest = MakeSurface(32, 64, 48);
    Number(src);
    // Half off the left edge at double size: 10 cut columns are 5 source columns.
    DrawImageScaled(src, nullptr, 0, 0, 20, 4, dest, -10, 0, 40, 8, false, 255, 0, 0, 63, 47);
    EXPECT_EQ(PixelAt(*dest, 0, 0), PixelAt(*src, 5, 0));
    EXPECT_EQ(PixelAt(*dest, 29, 7), PixelAt(*src, 19, 3));
    EXPECT_EQ(PixelAt(*dest, 30, 0), 0u);
    // Two source columns drawn 5 wide with 4 cut: round(1.6) = 2 cut, nothing left to draw.
    const PDirectDrawSurface empty = MakeSurface(32, 64, 48);
    DrawImageScaled(src, nullptr, 0, 0, 2, 4, empty, -4, 0, 5, 4, false, 255, 0, 0, 63, 47);
    DrawImageScaled(src, nullptr, 0, 0, 0, 4, empty, 0, 0, 5, 4, false, 255, 0, 0, 63, 47);
    for (int32_t x = 0; x < 5; ++x)
        EXPECT_EQ(PixelAt(*empty, x, 0), 0u);
    // A tie rounds to even: 5 cut of a 2.0 ratio is 2 source columns, not 3.
    const PDirectDrawSurface tie = MakeSurface(32, 64, 48);
    DrawImageScaled(src, nullptr, 0, 0, 20, 4, tie, -5, 0, 40, 8, false, 255, 0, 0, 63, 47);
    EXPECT_EQ(PixelAt(*tie, 0, 0), PixelAt(*src, 2, 0));
    // The view offset applies to any destination.
    Engine.SetViewOffsets(3, 0);
    const PDirectDrawSurface moved = MakeSurface(32, 64, 48);
    DrawImageScaled(src, nullptr, 0, 0, 1, 1, moved, 0, 0, 1, 1, false, 255, 0, 0, 63, 47);
    EXPECT_EQ(PixelAt(*moved, 3, 0), PixelAt(*src, 0, 0));
    Engine.SetViewOffsets(0, 0);

    // Alpha below 255 blends only when enabled; 255 never does; the map only without it.
    const TDDColorKey key{PixelAt(*src, 1, 0), PixelAt(*src, 1, 0)};
    src->SetColorKey(DDCKEY_SRCBLT, &key);
    auto map = std::make_shared<TAlphaMap>();
    map->Bytes.assign(20 * 4, 128);
    const auto draw = [&](int32_t alpha, const PAlphaMap& alphaMap) {
        const PDirectDrawSurface target = MakeSurface(32, 64, 48);
        Colorfill(target, 0x808080);
        DrawImageScaled(src, alphaMap, 0, 0, 4, 1, target, 0, 0, 4, 1, true, alpha, 0, 0, 63, 47);
        return std::vector<uint32_t>{PixelAt(*target, 0, 0), PixelAt(*target, 1, 0)};
    };
    // That each blends as it should is the blend cases' to check; here only which one is taken.
    const std::vector<uint32_t> copied{PixelAt(*src, 0, 0), 0x808080};
    EXPECT_EQ(draw(255, nullptr), copied);
    const std::vector<uint32_t> mapped = draw(255, map);
    EXPECT_EQ(draw(100, map), draw(100, nullptr));
    Engine.SetAlphaBlend(false);
    EXPECT_EQ(draw(100, nullptr), copied);
    EXPECT_EQ(draw(100, map), mapped);
    Engine.SetAlphaMaps(false);
    EXPECT_EQ(draw(255, map), copied);
}

TEST_F(DDUtilTest, StatusLineOnlyWithAMargin) {
    Colorfill(BackgroundSurface, 0x0000FF);
    ShowStatusText("Hallo");
    EXPECT_EQ(PixelAt(*BackgroundSurface, 0, 47), 0xFFu);
    EXPECT_EQ(PixelAt(*GetBackSurface(), 0, 47), 0u);
    Engine.SetBottomMargin(12);
    ShowStatusText("Hallo");
    int white = 0;
    for (int32_t y = 36; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            const uint32_t p = PixelAt(*BackgroundSurface, x, y) & 0xFFFFFF;
            EXPECT_TRUE(p == 0 || p == 0xFFFFFF) << x << "," << y;
            white += p == 0xFFFFFF;
            EXPECT_EQ(PixelAt(*GetBackSurface(), x, y) & 0xFFFFFF, p);
            EXPECT_EQ(PixelAt(*GetPrimarySurface(), x, y) & 0xFFFFFF, p);
        }
    EXPECT_GT(white, 10);
    EXPECT_EQ(PixelAt(*BackgroundSurface, 0, 35), 0xFFu);
    EXPECT_EQ(PixelAt(*GetBackSurface(), 0, 35), 0u);
}

TEST_F(DDUtilTest, ScreenshotsTakeTheFirstFreeNumber) {
    Colorfill(GetBackSurface(), 0, 0, 64, 48, 0xFF0000);
    std::filesystem::create_directory(Folder.File("Screenshots"));
    WriteWholeFile(Folder.File("Screenshots") + "/Shot_1.jpg", "x");
    WriteWholeFile(Folder.File("Screenshots") + "/Shot_2.jpg", "x");
    TakeScreenshot();
    const std::string third = ReadWholeFile(Folder.File("Screenshots/Shot_3.jpg"));
    const QImage picture = DecodeJpeg(QByteArray(third.data(), qsizetype(third.size())));
    EXPECT_EQ(picture.width(), 64);
    EXPECT_EQ(picture.height(), 48);
    EXPECT_GT(qRed(picture.pixel(10, 10)), 250);
    std::filesystem::remove(Folder.File("Screenshots/Shot_1.jpg"));
    TakeScreenshot();
    EXPECT_GT(ReadWholeFile(Folder.File("Screenshots/Shot_1.jpg")).size(), 100u);
    EXPECT_FALSE(std::filesystem::exists(Folder.File("Screenshots") + "/Shot_4.jpg"));
}
