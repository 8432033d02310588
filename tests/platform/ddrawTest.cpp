#include "platform/ddraw.h"

#include "TestSupport.h"
#include "platform/ddrawqt.h"
#include "platform/input.h"

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <cstring>
#include <vector>
#include <gtest/gtest.h>

namespace {

struct TDevice {
    std::shared_ptr<THeadlessDisplay> Display;
    PDirectDraw DirectDraw;
    explicit TDevice(int bits = 32, int width = 1024, int height = 768) {
        Display = std::make_shared<THeadlessDisplay>(width, height, bits);
        DirectDraw = std::make_shared<TDirectDraw>(Display);
    }
    PDirectDrawSurface Surface(int32_t w, int32_t h, int bits = 0) {
        return MakeSurface(*DirectDraw, w, h, bits);
    }
    PDirectDrawSurface FlippingChain() {
        TDDSurfaceDesc desc;
        desc.Flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        desc.Caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        desc.BackBufferCount = 1;
        PDirectDrawSurface out;
        EXPECT_EQ(DirectDraw->CreateSurface(desc, out), DD_OK);
        return out;
    }
};

void Fill(const PDirectDrawSurface& s, const TRect* rect, uint32_t value) {
    TDDBltFx fx;
    fx.FillColor = value;
    ASSERT_EQ(s->Blt(rect, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
}

// Every pixel gets its own value, so copies can be traced back to their source.
void Number(const PDirectDrawSurface& s) {
    const TSurfaceLock lock(*s);
    ASSERT_TRUE(lock.Locked());
    const TDDSurfaceDesc& desc = lock.Desc();
    const int bytes = static_cast<int>(desc.PixelFormat.RGBBitCount / 8);
    for (int32_t y = 0; y < desc.Height; ++y)
        for (int32_t x = 0; x < desc.Width; ++x) {
            const uint32_t v = static_cast<uint32_t>(y * 100 + x + 1);
            std::memcpy(lock.Row(y) + x * bytes, &v, bytes);
        }
}

} // namespace

TEST(DDrawSurface, FormatsAndPitches) {
    TDevice device;
    for (int bits : {16, 24, 32}) {
        const PDirectDrawSurface s = device.Surface(5, 3, bits);
        TDDSurfaceDesc desc;
        ASSERT_EQ(s->Lock(nullptr, desc, DDLOCK_WAIT), DD_OK);
        EXPECT_EQ(desc.Width, 5);
        EXPECT_EQ(desc.Height, 3);
        EXPECT_EQ(desc.Pitch, (5 * bits / 8 + 3) / 4 * 4);
        EXPECT_EQ(desc.PixelFormat.RGBBitCount, static_cast<uint32_t>(bits));
        s->Unlock();
    }
    const TDDPixelFormat f16 = PixelFormatForDepth(16);
    EXPECT_EQ(f16.RBitMask, 0xF800u);
    EXPECT_EQ(f16.GBitMask, 0x07E0u);
    EXPECT_EQ(f16.BBitMask, 0x001Fu);
    // Without a format a surface takes the display's.
    EXPECT_EQ(device.Surface(2, 2)->Format().RGBBitCount, 32u);
    TDevice device16(16);
    EXPECT_EQ(device16.Surface(2, 2)->Format().RGBBitCount, 16u);
}

TEST(DDrawSurface, RefusesBadSizesAndFormats) {
    TDevice device;
    TDDSurfaceDesc desc;
    desc.Flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.Caps = DDSCAPS_OFFSCREENPLAIN;
    PDirectDrawSurface out;
    desc.Width = 0;
    desc.Height = 10;
    EXPECT_EQ(device.DirectDraw->CreateSurface(desc, out), DDERR_INVALIDPARAMS);
    desc.Width = 100000;
    EXPECT_EQ(device.DirectDraw->CreateSurface(desc, out), DDERR_TOOBIGSIZE);
    desc.Width = 10;
    desc.Flags |= DDSD_PIXELFORMAT;
    desc.PixelFormat.RGBBitCount = 8;
    EXPECT_EQ(device.DirectDraw->CreateSurface(desc, out), DDERR_INVALIDPIXELFORMAT);
}

TEST(DDrawSurface, FillsRectanglesInEveryDepth) {
    TDevice device;
    for (int bits : {16, 24, 32}) {
        const PDirectDrawSurface s = device.Surface(7, 5, bits);
        Fill(s, nullptr, 0x111111);
        const TRect r{2, 1, 5, 3};
        Fill(s, &r, 0xABCDEF);
        const uint32_t mask = bits == 16 ? 0xFFFFu : bits == 24 ? 0xFFFFFFu : 0xFFFFFFFFu;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
                EXPECT_EQ(PixelAt(*s, x, y), (inside ? 0xABCDEFu : 0x111111u) & mask)
                    << bits << " bits at " << x << "," << y;
            }
        // The padding after each row is never written.
        if (bits == 24) {
            EXPECT_EQ(s->Pixels()[21], 0);
        }
    }
}

TEST(DDrawSurface, CopiesOfOtherFormatsAndRectanglesLeavingTheSurfaceAreRefused) {
    TDevice device;
    const PDirectDrawSurface dest = device.Surface(10, 10);
    const PDirectDrawSurface src = device.Surface(4, 4);
    const TRect outside{8, 8, 12, 12};
    const TRect negative{-1, 0, 3, 4};
    const TRect inverted{3, 3, 1, 1};
    const TRect empty{2, 2, 2, 5};
    TDDBltFx fx;
    EXPECT_EQ(dest->Blt(&outside, src.get(), nullptr, 0, nullptr), DDERR_INVALIDRECT);
    EXPECT_EQ(dest->Blt(&negative, src.get(), nullptr, 0, nullptr), DDERR_INVALIDRECT);
    EXPECT_EQ(dest->Blt(&inverted, src.get(), nullptr, 0, nullptr), DDERR_INVALIDRECT);
    EXPECT_EQ(dest->Blt(&empty, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_INVALIDRECT);
    EXPECT_EQ(dest->Blt(nullptr, src.get(), &outside, 0, nullptr), DDERR_INVALIDRECT);
    EXPECT_EQ(dest->BltFast(7, 7, src.get(), nullptr, 0), DDERR_INVALIDRECT);
    EXPECT_EQ(dest->BltFast(6, 6, src.get(), nullptr, 0), DD_OK);
    TDDSurfaceDesc desc;
    EXPECT_EQ(dest->Lock(&outside, desc, 0), DDERR_INVALIDRECT);
    EXPECT_FALSE(dest->Locked());
    const PDirectDrawSurface d16 = device.Surface(4, 4, 16);
    EXPECT_EQ(d16->Blt(nullptr, src.get(), nullptr, 0, nullptr), DDERR_INVALIDPIXELFORMAT);
    EXPECT_EQ(src->BltFast(0, 0, d16.get(), nullptr, 0), DDERR_INVALIDPIXELFORMAT);
}

TEST(DDrawSurface, UnscaledCopyLandsAtTheTarget) {
    TDevice device;
    for (int bits : {16, 24, 32}) {
        const PDirectDrawSurface src = device.Surface(6, 4, bits);
        const PDirectDrawSurface dest = device.Surface(8, 8, bits);
        Number(src);
        const TRect from{1, 1, 4, 3};
        ASSERT_EQ(dest->BltFast(5, 6, src.get(), &from, DDBLTFAST_WAIT), DD_OK);
        EXPECT_EQ(PixelAt(*dest, 5, 6), PixelAt(*src, 1, 1));
        EXPECT_EQ(PixelAt(*dest, 7, 7), PixelAt(*src, 3, 2));
        EXPECT_EQ(PixelAt(*dest, 4, 6), 0u);
    }
}

TEST(DDrawSurface, StretchTakesTheNearestSourcePixel) {
    TDevice device;
    for (int bits : {16, 24, 32}) {
        const PDirectDrawSurface src = device.Surface(3, 2, bits);
        const PDirectDrawSurface dest = device.Surface(7, 4, bits);
        Number(src);
        // 3 -> 7 columns: source column floor(x * 3 / 7); 2 -> 4 rows: floor(y / 2).
        ASSERT_EQ(dest->Blt(nullptr, src.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 7; ++x)
                EXPECT_EQ(PixelAt(*dest, x, y), PixelAt(*src, x * 3 / 7, y / 2)) << x << "," << y;
        // Shrinking: 7 -> 3 columns takes columns 0, 2 and 4.
        Number(dest);
        const PDirectDrawSurface small = device.Surface(3, 1, bits);
        const TRect row{0, 1, 7, 2};
        ASSERT_EQ(small->Blt(nullptr, dest.get(), &row, 0, nullptr), DD_OK);
        EXPECT_EQ(PixelAt(*small, 0, 0), PixelAt(*dest, 0, 1));
        EXPECT_EQ(PixelAt(*small, 1, 0), PixelAt(*dest, 2, 1));
        EXPECT_EQ(PixelAt(*small, 2, 0), PixelAt(*dest, 4, 1));
    }
}

TEST(DDrawSurface, SourceColourKeySkipsKeyPixels) {
    TDevice device;
    for (int bits : {16, 24, 32}) {
        const PDirectDrawSurface src = device.Surface(2, 1, bits);
        const PDirectDrawSurface dest = device.Surface(4, 1, bits);
        {
            const TSurfaceLock lock(*src);
            ASSERT_TRUE(lock.Locked());
            const uint32_t values[2] = {0, 0x1234};
            for (int i = 0; i < 2; ++i)
                std::memcpy(lock.Pixels() + i * bits / 8, &values[i], bits / 8);
        }
        const TDDColorKey key{0, 0};
        ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
        Fill(dest, nullptr, 0x77);
        ASSERT_EQ(dest->Blt(nullptr, src.get(), nullptr, DDBLT_KEYSRC, nullptr), DD_OK);
        EXPECT_EQ(PixelAt(*dest, 0, 0), 0x77u);
        EXPECT_EQ(PixelAt(*dest, 1, 0), 0x77u);
        EXPECT_EQ(PixelAt(*dest, 2, 0), 0x1234u);
        Fill(dest, nullptr, 0x77);
        ASSERT_EQ(dest->BltFast(0, 0, src.get(), nullptr, DDBLTFAST_SRCCOLORKEY), DD_OK);
        EXPECT_EQ(PixelAt(*dest, 0, 0), 0x77u);
        ASSERT_EQ(dest->BltFast(0, 0, src.get(), nullptr, DDBLTFAST_NOCOLORKEY), DD_OK);
        EXPECT_EQ(PixelAt(*dest, 0, 0), 0u);
    }
    // The key compares colour bits only: the unused byte of 32-bit pixels does not count.
    const PDirectDrawSurface src = device.Surface(1, 1, 32);
    const PDirectDrawSurface dest = device.Surface(1, 1, 32);
    Fill(src, nullptr, 0xFF000000);
    const TDDColorKey key{0, 0};
    src->SetColorKey(DDCKEY_SRCBLT, &key);
    Fill(dest, nullptr, 0x55);
    ASSERT_EQ(dest->Blt(nullptr, src.get(), nullptr, DDBLT_KEYSRC, nullptr), DD_OK);
    EXPECT_EQ(PixelAt(*dest, 0, 0), 0x55u);
    TDDColorKey read;
    EXPECT_EQ(src->GetColorKey(DDCKEY_SRCBLT, read), DD_OK);
    src->SetColorKey(DDCKEY_SRCBLT, nullptr);
    EXPECT_EQ(src->GetColorKey(DDCKEY_SRCBLT, read), DDERR_COLORKEYNOTSET);
}

// Copies within one surface whose rectangles overlap, every way round, plain and keyed, against
// what each pixel must hold: the original pixel the copy maps onto it, unless keyed away.
TEST(DDrawSurface, OverlappingCopiesReadEverySourcePixelBeforeOverwritingIt) {
    TDevice device;
    const int32_t w = 9, h = 7;
    const TRect source{2, 2, 6, 5};
    const int shifts[][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {2, 1}, {-2, -1}, {1, -2}, {-1, 2}};
    for (const int bits : {16, 24, 32})
        for (const bool keyed : {false, true})
            for (const auto& shift : shifts) {
                const PDirectDrawSurface s = device.Surface(w, h, bits);
                Number(s);
                // A key range over the right of row 2 and the left of row 3.
                const TDDColorKey range{203, 305};
                s->SetColorKey(DDCKEY_SRCBLT, &range);
                std::vector<uint32_t> before;
                for (int32_t y = 0; y < h; ++y)
                    for (int32_t x = 0; x < w; ++x)
                        before.push_back(PixelAt(*s, x, y));
                const int32_t dx = shift[0], dy = shift[1];
                const TRect dest{source.Left + dx, source.Top + dy, source.Right + dx,
                                 source.Bottom + dy};
                ASSERT_EQ(s->Blt(&dest, s.get(), &source, keyed ? DDBLT_KEYSRC : 0, nullptr),
                          DD_OK);
                for (int32_t y = 0; y < h; ++y)
                    for (int32_t x = 0; x < w; ++x) {
                        uint32_t expected = before[size_t(y * w + x)];
                        if (x >= dest.Left && x < dest.Right && y >= dest.Top && y < dest.Bottom) {
                            const uint32_t from = before[size_t((y - dy) * w + x - dx)];
                            if (!keyed || from < range.Low || from > range.High) expected = from;
                        }
                        ASSERT_EQ(PixelAt(*s, x, y), expected)
                            << bits << " bits, keyed " << keyed << ", shift " << dx << "," << dy
                            << " at " << x << "," << y;
                    }
            }
    // A stretch onto an overlapping rectangle reads the source as it was.
    const PDirectDrawSurface s = device.Surface(8, 1, 32);
    Number(s);
    const TRect half{0, 0, 4, 1}, whole{0, 0, 8, 1};
    ASSERT_EQ(s->Blt(&whole, s.get(), &half, 0, nullptr), DD_OK);
    const uint32_t doubled[8] = {1, 1, 2, 2, 3, 3, 4, 4};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(PixelAt(*s, x, 0), doubled[x]);
}

TEST(DDrawSurface, ClipRectKeepsWhatLiesInside) {
    const TRect clip{0, 0, 10, 8};
    const TRect inside = ClipRect(TRect{-3, 2, 4, 12}, clip);
    EXPECT_EQ(inside.Left, 0);
    EXPECT_EQ(inside.Top, 2);
    EXPECT_EQ(inside.Right, 4);
    EXPECT_EQ(inside.Bottom, 8);
    EXPECT_FALSE(inside.Empty());
    EXPECT_TRUE(ClipRect(TRect{10, 0, 12, 4}, clip).Empty()); // touching is not meeting
    EXPECT_TRUE(ClipRect(TRect{2, 2, 2, 5}, clip).Empty());
    EXPECT_TRUE(ClipRect(TRect{2, 2, 5, 5}, TRect{4, 4, 3, 3}).Empty());
}

// Locks of rectangles leaving the surface and of lost surfaces are refused in the tests of
// those.
TEST(DDrawSurface, TheLockGuardHoldsTheLockAndRefusesCopiesForItsLifetime) {
    TDevice device;
    const PDirectDrawSurface a = device.Surface(4, 4);
    const PDirectDrawSurface b = device.Surface(4, 4);
    const TRect part{1, 2, 3, 4};
    {
        const TSurfaceLock lock(*a, &part);
        ASSERT_TRUE(lock.Locked());
        EXPECT_EQ(lock.Pixels(), a->Pixels() + 2 * a->Pitch() + 4);
        EXPECT_EQ(lock.Row(1), lock.Pixels() + a->Pitch());
        EXPECT_EQ(lock.Pitch(), a->Pitch());
        EXPECT_EQ(a->Blt(nullptr, b.get(), nullptr, 0, nullptr), DDERR_SURFACEBUSY);
        EXPECT_EQ(b->Blt(nullptr, a.get(), nullptr, 0, nullptr), DDERR_SURFACEBUSY);
        {
            // A second lock is refused and must not release the first one when it ends.
            const TSurfaceLock busy(*a);
            EXPECT_FALSE(busy.Locked());
            EXPECT_EQ(busy.Result(), DDERR_SURFACEBUSY);
        }
        EXPECT_TRUE(a->Locked());
    }
    EXPECT_FALSE(a->Locked());
    EXPECT_EQ(a->Unlock(), DDERR_NOTLOCKED);
    EXPECT_EQ(b->Blt(nullptr, a.get(), nullptr, 0, nullptr), DD_OK);
}

TEST(DDrawChain, FlipSwapsMemoryAndPresents) {
    TDevice device;
    ASSERT_EQ(device.DirectDraw->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
              DD_OK);
    ASSERT_EQ(device.DirectDraw->SetDisplayMode(800, 600, 16, 0, 0), DD_OK);
    EXPECT_TRUE(device.Display->ModeSet);
    EXPECT_EQ(device.Display->ModeWidth, 800);
    const PDirectDrawSurface front = device.FlippingChain();
    EXPECT_EQ(front->Width(), 800);
    EXPECT_EQ(front->Height(), 600);
    EXPECT_EQ(front->Format().RGBBitCount, 16u);
    PDirectDrawSurface back;
    ASSERT_EQ(front->GetAttachedSurface(DDSCAPS_BACKBUFFER, back), DD_OK);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->Caps() & DDSCAPS_BACKBUFFER);
    int found = 0;
    device.DirectDraw->EnumSurfaces([&](const PDirectDrawSurface& s) {
        if (s == back) ++found;
        if (s == front) found += 10;
    });
    EXPECT_EQ(found, 11);

    Fill(back, nullptr, 0xF800);
    const int before = device.Display->Presented;
    ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    EXPECT_EQ(device.Display->Presented, before + 1);
    EXPECT_EQ(PixelAt(*front, 799, 599), 0xF800u);
    EXPECT_EQ(PixelAt(*back, 0, 0), 0u);
    ASSERT_EQ(device.Display->LastFrame.size(), 800u * 600u * 2u);
    EXPECT_EQ(device.Display->LastFrame[0], 0x00);
    EXPECT_EQ(device.Display->LastFrame[1], 0xF8);
    EXPECT_EQ(back->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);

    TDDSurfaceDesc mode;
    device.DirectDraw->GetDisplayMode(mode);
    EXPECT_EQ(mode.Width, 800);
    EXPECT_EQ(mode.PixelFormat.RGBBitCount, 16u);
    device.DirectDraw->RestoreDisplayMode();
    EXPECT_FALSE(device.Display->ModeSet);
    device.DirectDraw->GetDisplayMode(mode);
    EXPECT_EQ(mode.Width, 1024);
    EXPECT_EQ(mode.PixelFormat.RGBBitCount, 32u);
}

TEST(DDrawChain, PrimaryRules) {
    TDevice device;
    TDDSurfaceDesc desc;
    desc.Flags = DDSD_CAPS;
    desc.Caps = DDSCAPS_PRIMARYSURFACE;
    PDirectDrawSurface primary;
    EXPECT_EQ(device.DirectDraw->CreateSurface(desc, primary), DDERR_NOCOOPERATIVELEVELSET);
    EXPECT_EQ(device.DirectDraw->SetCooperativeLevel(nullptr, DDSCL_FULLSCREEN),
              DDERR_INVALIDPARAMS);
    ASSERT_EQ(device.DirectDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    EXPECT_EQ(device.DirectDraw->SetDisplayMode(800, 600, 16, 0, 0), DDERR_NOEXCLUSIVEMODE);
    // A flipping chain needs exclusive mode.
    desc.Flags |= DDSD_BACKBUFFERCOUNT;
    desc.Caps |= DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    desc.BackBufferCount = 1;
    EXPECT_EQ(device.DirectDraw->CreateSurface(desc, primary), DDERR_NOEXCLUSIVEMODE);
    desc = TDDSurfaceDesc{};
    desc.Flags = DDSD_CAPS;
    desc.Caps = DDSCAPS_PRIMARYSURFACE;
    ASSERT_EQ(device.DirectDraw->CreateSurface(desc, primary), DD_OK);
    // Windowed: the desktop's size.
    EXPECT_EQ(primary->Width(), 1024);
    EXPECT_EQ(primary->Height(), 768);
    PDirectDrawSurface second;
    EXPECT_EQ(device.DirectDraw->CreateSurface(desc, second), DDERR_PRIMARYSURFACEALREADYEXISTS);
    primary.reset();
    EXPECT_EQ(device.DirectDraw->CreateSurface(desc, second), DD_OK);
}

TEST(DDrawLost, LostUntilRestored) {
    TDevice device;
    ASSERT_EQ(device.DirectDraw->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
              DD_OK);
    const PDirectDrawSurface front = device.FlippingChain();
    const PDirectDrawSurface plain = device.Surface(4, 4);
    PDirectDrawSurface back;
    front->GetAttachedSurface(DDSCAPS_BACKBUFFER, back);
    device.DirectDraw->LoseAllSurfaces();
    TDDSurfaceDesc desc;
    EXPECT_EQ(plain->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(plain->Lock(nullptr, desc, 0), DDERR_SURFACELOST);
    EXPECT_EQ(back->Blt(nullptr, plain.get(), nullptr, 0, nullptr), DDERR_SURFACELOST);
    EXPECT_EQ(front->Flip(nullptr, 0), DDERR_SURFACELOST);
    EXPECT_EQ(plain->Restore(), DD_OK);
    EXPECT_EQ(plain->IsLost(), DD_OK);
    EXPECT_EQ(back->Blt(nullptr, plain.get(), nullptr, 0, nullptr), DDERR_SURFACELOST);
    // Restoring the front brings back its chain.
    EXPECT_EQ(front->Restore(), DD_OK);
    EXPECT_EQ(back->IsLost(), DD_OK);
    EXPECT_EQ(front->Flip(nullptr, 0), DD_OK);

    // The display's deactivation hook loses everything; gone with the device, it stays lost.
    device.Display->LoseSurfaces();
    EXPECT_EQ(plain->IsLost(), DDERR_SURFACELOST);
    device.DirectDraw.reset();
    EXPECT_FALSE(device.Display->LoseSurfaces);
    EXPECT_EQ(plain->Restore(), DDERR_INVALIDOBJECT);
}

TEST(DDrawWindowed, CopiesIntoPrimaryLandInTheWindow) {
    TDevice device;
    TInputState input;
    input.ClientOrigin = TPoint{100, 50};
    SetInputOverride(&input);
    QWidget window;
    window.resize(20, 10);
    ASSERT_EQ(device.DirectDraw->SetCooperativeLevel(&window, DDSCL_NORMAL), DD_OK);
    EXPECT_EQ(device.Display->Window, &window);
    TDDSurfaceDesc desc;
    desc.Flags = DDSD_CAPS;
    desc.Caps = DDSCAPS_PRIMARYSURFACE;
    PDirectDrawSurface primary;
    ASSERT_EQ(device.DirectDraw->CreateSurface(desc, primary), DD_OK);
    std::shared_ptr<TDirectDrawClipper> clipper;
    ASSERT_EQ(device.DirectDraw->CreateClipper(0, clipper), DD_OK);
    ASSERT_EQ(clipper->SetHWnd(0, &window), DD_OK);
    ASSERT_EQ(primary->SetClipper(clipper), DD_OK);

    const PDirectDrawSurface back = device.Surface(30, 30);
    Fill(back, nullptr, 0x00FF00);
    // The copy is larger than the client area and its end leaves the desktop: both are cut.
    const TRect dest{100, 50, 130, 80};
    const int before = device.Display->Presented;
    ASSERT_EQ(primary->Blt(&dest, back.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(device.Display->Presented, before + 1);
    EXPECT_EQ(PixelAt(*primary, 100, 50), 0x00FF00u);
    EXPECT_EQ(PixelAt(*primary, 119, 59), 0x00FF00u);
    EXPECT_EQ(PixelAt(*primary, 120, 59), 0u);
    EXPECT_EQ(PixelAt(*primary, 119, 60), 0u);
    EXPECT_EQ(PixelAt(*primary, 99, 50), 0u);
    const TRect past{1010, 760, 1040, 790};
    input.ClientOrigin = TPoint{1010, 760};
    EXPECT_EQ(primary->Blt(&past, back.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(PixelAt(*primary, 1023, 767), 0x00FF00u);
    SetInputOverride(nullptr);
}

TEST(DDrawDefault, DisplayChoice) {
    auto headless = std::make_shared<THeadlessDisplay>(640, 480, 16);
    SetDefaultDisplay(headless);
    PDirectDraw dd;
    ASSERT_EQ(DirectDrawCreate(dd), DD_OK);
    EXPECT_EQ(&dd->Display(), headless.get());
    SetDefaultDisplay(nullptr);
    // With the test's QApplication the Qt display is the default.
    EXPECT_NE(dynamic_cast<TQtDisplay*>(DefaultDisplay().get()), nullptr);
}

// The Qt display under the offscreen platform, in the game's three display modes.
TEST(DDrawQt, ModesShowTheFrontSurface) {
    for (int mode : {0, 1, 2}) {
        auto display = std::make_shared<TQtDisplay>();
        auto dd = std::make_shared<TDirectDraw>(display);
        QWidget window;
        window.resize(200, 150);
        window.show();
        const uint32_t flags =
            mode == 2 ? DDSCL_NORMAL : DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT;
        ASSERT_EQ(dd->SetCooperativeLevel(&window, flags), DD_OK);
        if (mode == 0) {
            // A mode of another aspect than the screen's, so bars must show.
            ASSERT_EQ(dd->SetDisplayMode(400, 200, 16, 0, 0), DD_OK);
        }
        QApplication::processEvents();
        EXPECT_EQ(window.isFullScreen(), mode != 2) << mode;

        TDDSurfaceDesc desc;
        desc.Flags = DDSD_CAPS;
        desc.Caps = DDSCAPS_PRIMARYSURFACE;
        PDirectDrawSurface primary;
        ASSERT_EQ(dd->CreateSurface(desc, primary), DD_OK);
        EXPECT_EQ(primary->Width(), mode == 0 ? 400 : display->DesktopWidth());
        TDDBltFx fx;
        fx.FillColor = mode == 0 ? 0xF800u : 0xFF0000u; // red
        ASSERT_EQ(primary->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);

        const QImage shot = window.grab().toImage();
        const QRect target = display->TargetRect();
        const QPoint inside = target.center();
        EXPECT_EQ(QColor(shot.pixel(inside)).red(), 255) << mode;
        EXPECT_EQ(QColor(shot.pixel(inside)).green(), 0) << mode;
        if (mode == 0) {
            // Scaled keeping 2:1; whatever is left over is black.
            EXPECT_NEAR(double(target.width()) / target.height(), 2.0, 0.02);
            EXPECT_TRUE(target.top() > 0 || target.left() > 0);
            if (target.left() > 0) {
                EXPECT_EQ(QColor(shot.pixel(0, inside.y())).red(), 0);
            }
            if (target.top() > 0) {
                EXPECT_EQ(QColor(shot.pixel(inside.x(), 0)).red(), 0);
            }
            // The cursor maps onto the mode's pixels.
            int32_t x = window.mapToGlobal(target.topLeft()).x() + target.width() / 2;
            int32_t y = window.mapToGlobal(target.topLeft()).y() + target.height() / 2;
            display->MapCursor(x, y);
            EXPECT_NEAR(x, 200, 2);
            EXPECT_NEAR(y, 100, 2);
        }
        // Switching away from a fullscreen window after it was active loses the surfaces.
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&window, &activate);
        QEvent deactivate(QEvent::WindowDeactivate);
        QApplication::sendEvent(&window, &deactivate);
        EXPECT_EQ(primary->IsLost(), mode == 2 ? DD_OK : DDERR_SURFACELOST) << mode;
        if (mode != 2) {
            EXPECT_NE(primary->Restore(), DD_OK);
            QApplication::sendEvent(&window, &activate);
            EXPECT_EQ(primary->Restore(), DD_OK);
        }
        primary.reset();
        dd.reset();
    }
}
