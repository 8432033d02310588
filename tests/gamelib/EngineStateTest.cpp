#include "gamelib/EngineState.h"

#include "SpriteScriptBlocks.h"
#include "TestSupport.h"
#include "gamelib/BobhandlingUnit.h"
#include "gamelib/SpriteUnit.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <tuple>

namespace {

// Every value the owner looks after, as one comparable record.
auto Snapshot() {
    return std::make_tuple(DirectDrawObject.get(), DisplaySurfaces.size(), BackgroundSurface.get(),
                           Bobs.get(), ScreenWidth, ScreenHeight, ClipRight, ClipBottom,
                           BottomMargin, ViewOffsetX, ViewOffsetY, FocalLength, CenterX, CenterY,
                           AlphaBlendEnabled, AlphaMapEnabled, SurfaceLost, ColorKeyValue,
                           SurfaceCount, SpriteCount, ObjectCount);
}

} // namespace

TEST(EngineState, OwnersNestSetTheScreenAndPutEverythingBackHoweverTheyEnd) {
    TTempProgramFolder folder;
    TEngineState outer(800, 600);
    outer.OpenHeadless(32);
    outer.SetViewOffsets(112, 84);
    ColorKeyValue = 7;
    const auto before = Snapshot();
    try {
        TEngineState engine(10, 8);
        // An inner owner starts afresh at its own size.
        EXPECT_EQ(Snapshot(),
                  (decltype(before){nullptr, 0, nullptr, nullptr, 10,    8,     9, 7, 0, 0, 0,
                                    10.0,    5, 4,       true,    false, false, 0, 0, 0, 0}));
        engine.SetViewOffsets(3, 2);
        engine.SetBottomMargin(12);
        engine.SetAlphaBlend(false);
        // A new size takes the view back to the corner; the rest stays.
        engine.SetScreenSize(641, 479);
        EXPECT_EQ(Snapshot(), (decltype(before){nullptr, 0,     nullptr, nullptr, 641,   479, 640,
                                                478,     12,    0,       0,       641.0, 320, 239,
                                                false,   false, false,   0,       0,     0,   0}));
        engine.OpenHeadless(16);
        LoadAllObjects(SplitLines(
            Block("feld", "CreateAnimation", 10, 10, 2, 2, 1, {"standard 1-2; (002/000)"})));
        EXPECT_EQ(SurfaceCount, 1);
        engine.LoseSurfaces();
        EXPECT_TRUE(SurfaceLost);
        throw std::runtime_error("a test that stops half-way");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(Snapshot(), before);
    EXPECT_FALSE(SurfaceTable[1].Surface);
}

TEST(EngineState, HeadlessSetUpIsTheWindowsWithoutAWindow) {
    TTempProgramFolder folder;
    TEngineState engine(64, 48);
    const std::shared_ptr<THeadlessDisplay> display = engine.OpenHeadless(24);
    ASSERT_TRUE(DirectDrawObject);
    ASSERT_EQ(DisplaySurfaces.size(), 2u);
    EXPECT_TRUE(DisplaySurfaces[0]->Caps() & DDSCAPS_PRIMARYSURFACE);
    EXPECT_TRUE(DisplaySurfaces[1]->Caps() & DDSCAPS_BACKBUFFER);
    EXPECT_EQ(DisplaySurfaces[0]->Width(), 64);
    EXPECT_EQ(DisplaySurfaces[1]->Format().RGBBitCount, 24u);
    ASSERT_TRUE(BackgroundSurface);
    EXPECT_EQ(BackgroundSurface->Height(), 48);
    EXPECT_EQ(GetPixelColor(BackgroundSurface, 63, 47), 0u);
    EXPECT_TRUE(AlphaMapEnabled);
    ASSERT_TRUE(Bobs);
    EXPECT_EQ(Bobs->Count, 0);
    // What the flip shows reaches the display.
    Colorfill(GetBackSurface(), 0xFF0000);
    ASSERT_EQ(GetPrimarySurface()->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    ASSERT_EQ(display->LastFrame.size(), size_t(64 * 48 * 3));
    EXPECT_EQ(display->LastFrame[2], 0xFF);
    EXPECT_EQ(display->LastFrame[0], 0);
    // Release lets go of the device and all it made; the screen stays.
    const std::weak_ptr<TDirectDraw> device = DirectDrawObject;
    engine.Release();
    EXPECT_TRUE(device.expired());
    EXPECT_FALSE(Bobs);
    EXPECT_TRUE(DisplaySurfaces.empty());
    EXPECT_EQ(ScreenWidth, 64);
}
