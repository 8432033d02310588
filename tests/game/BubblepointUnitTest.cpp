#include "game/BubblepointUnit.h"

#include "TestSupport.h"
#include "game/scoreunit.h"
#include "gamelib/EngineState.h"
#include "gamelib/SpriteUnit.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class BubblepointTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Engine.OpenHeadless(32);
        LoadAllObjects(SplitLines(BuiltInSpriteScript()));
        Env = DefaultEnvData();
        RandSeed(5);
        Anzeige = std::make_unique<TAnzeige>();
        Pool = std::make_unique<TBubblpoints>();
    }
    void TearDown() override {
        Pool.reset();
        Anzeige.reset();
    }
    int VisibleCount() const {
        return int(std::count_if(Pool->Items.begin(), Pool->Items.end(),
                                 [](const auto& point) { return point->Visible; }));
    }

    TTempProgramFolder Folder;
    TEngineState Engine;
    std::unique_ptr<TBubblpoints> Pool;
};

} // namespace

TEST(PointsFrame, OnePicturePerValue) {
    // Pictures -250 .. -10 are frames 1 .. 25, +10 .. +250 frames 26 .. 50, +500 frame 51.
    EXPECT_EQ(PointsFrame(-250), 0);
    EXPECT_EQ(PointsFrame(-10), 24);
    EXPECT_EQ(PointsFrame(10), 25);
    EXPECT_EQ(PointsFrame(100), 34);
    EXPECT_EQ(PointsFrame(200), 44);
    EXPECT_EQ(PointsFrame(250), 49);
    EXPECT_EQ(PointsFrame(500), 50);
    // Anything else shows +10.
    for (const int32_t other : {0, 5, -15, 260, -260, 1000, 499})
        EXPECT_EQ(PointsFrame(other), 25) << other;
}

TEST_F(BubblepointTest, ARequestAddsThePointsAndShowsThemForFortyNineUpdates) {
    Pool->Request(200, 30, 150, -802);
    EXPECT_EQ(Anzeige->Scorepoints->Score, 200);
    TBubblepoint& point = *Pool->Items[0];
    ASSERT_TRUE(point.Visible);
    EXPECT_EQ(point.Part()->FramePos, 44);
    EXPECT_EQ(point.Z, -782.0f);
    EXPECT_TRUE(point.Part()->Flat);
    const float startY = point.Y;
    for (int32_t life = 49; life >= 1; --life) {
        Pool->MoveAll();
        ASSERT_TRUE(point.Visible) << life;
        EXPECT_EQ(point.Life, life);
        EXPECT_EQ(point.Part()->Alpha, life < 16 ? life * 16 : 255) << life;
        // Its picture stays.
        EXPECT_EQ(point.Part()->FramePos, 44);
    }
    // It rose by close to one unit per update.
    EXPECT_LT(point.Y, startY - 40);
    EXPECT_GT(point.Y, startY - 49);
    Pool->MoveAll();
    EXPECT_FALSE(point.Visible);
}

TEST_F(BubblepointTest, PointsReachTheScoreWhenEveryPopUpIsBusy) {
    const int32_t bobsBefore = Bobs->Count;
    for (int i = 0; i < 100; ++i)
        Pool->Request(100, 0, 0, -800);
    EXPECT_EQ(VisibleCount(), 100);
    Pool->Request(-250, 0, 0, -800);
    Pool->Request(500, 0, 0, -800);
    EXPECT_EQ(VisibleCount(), 100);
    EXPECT_EQ(Anzeige->Scorepoints->Score, 100 * 100 - 250 + 500);
    EXPECT_EQ(Bobs->Count, bobsBefore);
    // A freed slot is the lowest one taken next.
    Pool->Items[3]->SetVisible(false);
    Pool->Request(-250, 0, 0, -800);
    EXPECT_EQ(Pool->Items[3]->Part()->FramePos, 0);
}

TEST_F(BubblepointTest, APopUpLeavingTheTopIsFreed) {
    Pool->Request(100, 0, -349, -800);
    for (int update = 0; update < 20 && Pool->Items[0]->Visible; ++update)
        Pool->MoveAll();
    EXPECT_FALSE(Pool->Items[0]->Visible);
    EXPECT_GT(Pool->Items[0]->Life, 0);
}
