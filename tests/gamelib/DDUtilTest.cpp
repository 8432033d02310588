#include "gamelib/DDUtil.h"

#include "TestSupport.h"
#include "platform/jpeg.h"
#include "platform/resources.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace {

uint32_t PixelAt(const TDirectDrawSurface& s, int32_t x, int32_t y) {
    const int bytes = static_cast<int>(s.Format().RGBBitCount / 8);
    uint32_t v = 0;
    std::memcpy(&v, s.Pixels() + y * s.Pitch() + x * bytes, bytes);
    return v;
}

void Number(const PDirectDrawSurface& s) {
    TDDSurfaceDesc desc;
    ASSERT_EQ(s->Lock(nullptr, desc, DDLOCK_WAIT), DD_OK);
    for (int32_t y = 0; y < desc.Height; ++y)
        for (int32_t x = 0; x < desc.Width; ++x) {
            const uint32_t v = static_cast<uint32_t>(y * 100 + x + 1);
            std::memcpy(desc.Surface + y * desc.Pitch + x * 4, &v, 4);
        }
    s->Unlock();
}

// The engine state of a 32-bit headless device with front and back surfaces.
class DDUtilTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(Folder.File("SPS"));
        DirectDrawObject = std::make_shared<TDirectDraw>(Display);
        DirectDrawObject->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
        TDDSurfaceDesc desc;
        desc.Flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        desc.Caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        desc.BackBufferCount = 1;
        PDirectDrawSurface front, back;
        DXCheck(DirectDrawObject->CreateSurface(desc, front));
        DXCheck(front->GetAttachedSurface(DDSCAPS_BACKBUFFER, back));
        DisplaySurfaces = {front, back};
        ViewOffsetX = ViewOffsetY = 0;
        SurfaceLost = false;
    }
    void TearDown() override {
        DisplaySurfaces.clear();
        DirectDrawObject.reset();
        ViewOffsetX = ViewOffsetY = 0;
    }
    TTempProgramFolder Folder;
    std::shared_ptr<THeadlessDisplay> Display = std::make_shared<THeadlessDisplay>(64, 48, 32);
};

} // namespace

TEST(DDUtilChecks, ResultsBecomeExceptions) {
    EXPECT_NO_THROW(DXCheck(DD_OK));
    SurfaceLost = false;
    try {
        DXCheck(DDERR_SURFACELOST);
        ADD_FAILURE();
    } catch (const EDirectXSurfaceLostError& e) {
        EXPECT_STREQ(e.what(), "Surface Lost");
        EXPECT_EQ(e.Code, DDERR_SURFACELOST);
    }
    EXPECT_TRUE(SurfaceLost);
    SurfaceLost = false;
    try {
        DXCheck(DDERR_INVALIDRECT);
        ADD_FAILURE();
    } catch (const EDirectXSurfaceLostError&) {
        ADD_FAILURE() << "not a lost surface";
    } catch (const EDirectXError& e) {
        EXPECT_EQ(e.Code, DDERR_INVALIDRECT);
        EXPECT_NE(std::string(e.what()).find("DDERR_INVALIDRECT"), std::string::npos);
    }
    EXPECT_FALSE(SurfaceLost);
    EXPECT_EQ(DDErrorString(MakeDDHResult(9999)), "Unrecognized Error");
}

TEST_F(DDUtilTest, ColourToPixelInEachFormat) {
    PDirectDrawSurface s;
    TDDSurfaceDesc desc;
    desc.Flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.Width = desc.Height = 2;
    desc.Caps = DDSCAPS_OFFSCREENPLAIN;
    desc.PixelFormat = PixelFormatForDepth(16);
    DXCheck(DirectDrawObject->CreateSurface(desc, s));
    EXPECT_EQ(ColorToPixel(s, 0xFFFFFF), 0xFFFFu);
    EXPECT_EQ(ColorToPixel(s, 0xFF0000), 0xF800u);
    EXPECT_EQ(ColorToPixel(s, 0x00FF00), 0x07E0u);
    EXPECT_EQ(ColorToPixel(s, 0x000000), 0u);
    EXPECT_EQ(ColorToPixel(s, 0x808080), (15u << 11) | (31u << 5) | 15u);
    desc.PixelFormat = PixelFormatForDepth(24);
    DXCheck(DirectDrawObject->CreateSurface(desc, s));
    EXPECT_EQ(ColorToPixel(s, 0x123456), 0x123456u);
    EXPECT_THROW(ColorToPixel(nullptr, 0), std::runtime_error);
}

TEST_F(DDUtilTest, CreateSurfaceNeedsTheDevice) {
    const PDirectDrawSurface s = CreateSurface(30, 20, true);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Width(), 30);
    EXPECT_TRUE(s->Caps() & DDSCAPS_SYSTEMMEMORY);
    EXPECT_TRUE(s->Caps() & DDSCAPS_OFFSCREENPLAIN);
    PDirectDrawSurface held = s;
    DirectDrawObject.reset();
    try {
        CreateSurface(PDirectDraw(), 4, 4, held, 0);
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Direct Draw object not created");
    }
    EXPECT_FALSE(held); // released first
}

TEST_F(DDUtilTest, ColorfillAddsViewOffsetsOnDisplaySurfaces) {
    ScreenWidth = 10;
    ScreenHeight = 8;
    ViewOffsetX = 3;
    ViewOffsetY = 2;
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
    // Off-screen surfaces take the rectangle as it is.
    const PDirectDrawSurface plain = CreateSurface(4, 4, true);
    Colorfill(plain, 0x00FF00);
    EXPECT_EQ(PixelAt(*plain, 3, 3), 0xFF00u);
    // A rectangle leaving the surface is reported and logged.
    EXPECT_THROW(Colorfill(plain, 2, 2, 5, 5, 0), EDirectXError);
    const std::vector<std::string> log = LogLines(Folder);
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(log.back().starts_with("Error in Colorfill: "));
    EXPECT_TRUE(log.back().ends_with(" (2,2,5,5,0)"));
    ScreenWidth = 800;
    ScreenHeight = 600;
}

TEST_F(DDUtilTest, ClippedBlitCutsToTheClipRectangle) {
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
}

TEST_F(DDUtilTest, ClippedBlitOntoTheBackUsesViewOffsetsAndLogsFailures) {
    ViewOffsetX = 5;
    ViewOffsetY = 1;
    const PDirectDrawSurface src = CreateSurface(4, 4, true);
    Number(src);
    ClippedBlit(src, 0, 0, 4, 4, GetBackSurface(), 0, 0, false, 0, 0, 63, 47);
    EXPECT_EQ(PixelAt(*GetBackSurface(), 5, 1), 1u);
    // The offset pushes the copy past the surface: the device refuses and the log tells why.
    EXPECT_THROW(ClippedBlit(src, 0, 0, 4, 4, GetBackSurface(), 60, 0, false, 0, 0, 63, 47),
                 EDirectXError);
    const std::vector<std::string> log = LogLines(Folder);
    ASSERT_GE(log.size(), 16u);
    EXPECT_NE(log[log.size() - 16].find("DDERR_INVALIDRECT"), std::string::npos);
    EXPECT_EQ(log[log.size() - 2], "ARect:0;0;4;4");
    EXPECT_EQ(log.back(), "DRect:65;1;69;5");
    // A lost destination raises the lost-surface error and sets the flag.
    DirectDrawObject->LoseAllSurfaces();
    EXPECT_THROW(ClippedBlit(src, 0, 0, 4, 4, GetBackSurface(), 0, 0, false, 0, 0, 63, 47),
                 EDirectXSurfaceLostError);
    EXPECT_TRUE(SurfaceLost);
}

TEST_F(DDUtilTest, LoadImageFromFileAndResource) {
    // A file whose name differs in case from the path asked for.
    QImage picture(12, 8, QImage::Format_RGB32);
    picture.fill(QColor(255, 0, 0));
    const std::vector<uint8_t> bytes = EncodeJpeg(picture, 100);
    std::filesystem::create_directory(Folder.File("GFX"));
    WriteWholeFile(Folder.File("GFX/Photo.JPG"), std::string(bytes.begin(), bytes.end()));

    EXPECT_TRUE(ImageExists("gfx\\photo.bmp"));
    PDirectDrawSurface created;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(LoadImageToSurface("gfx\\photo", created, w, h));
    EXPECT_EQ(w, 12);
    EXPECT_EQ(h, 8);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->Width(), 12);
    EXPECT_TRUE(created->Caps() & DDSCAPS_SYSTEMMEMORY);
    EXPECT_GT(PixelAt(*created, 6, 4) & 0xFF0000, 0xF00000u);
    EXPECT_EQ(LogLines(Folder).back(), "gfx\\photo.jpg loaded as file");

    // Into an existing, smaller surface: copied at 0,0 and cut.
    PDirectDrawSurface small = CreateSurface(5, 5, false);
    ASSERT_TRUE(LoadImageToSurface("gfx\\photo.jpg", small));
    EXPECT_EQ(small->Width(), 5);
    EXPECT_GT(PixelAt(*small, 4, 4) & 0xFF0000, 0xF00000u);

    EXPECT_FALSE(ImageExists("gfx\\missing"));
    EXPECT_FALSE(LoadImageToSurface("gfx\\missing.jpg", small));
    EXPECT_EQ(LogLines(Folder).back(), "gfx\\missing not found!");

    // The compiled-in pictures are found by name in any folder, before any file.
    if (ResourceExists("JPEG", "LOADERPIC")) {
        PDirectDrawSurface loader;
        EXPECT_TRUE(ImageExists("gfx\\loaderpic"));
        const size_t logBefore = LogLines(Folder).size();
        ASSERT_TRUE(LoadImageToSurface("gfx\\loaderpic", loader));
        EXPECT_GT(loader->Width(), 0);
        EXPECT_EQ(LogLines(Folder).size(), logBefore);
    }
}

TEST_F(DDUtilTest, DisplaySurfaceHelpers) {
    EXPECT_EQ(GetPrimarySurface(), DisplaySurfaces[0]);
    EXPECT_EQ(GetBackSurface(), DisplaySurfaces[1]);
    EXPECT_TRUE(IsDisplaySurface(GetBackSurface()));
    EXPECT_FALSE(IsDisplaySurface(GetPrimarySurface()));
    EXPECT_FALSE(IsDisplaySurface(CreateSurface(2, 2, true)));
    DisplaySurfaces.clear();
    EXPECT_FALSE(GetBackSurface());
}
