#include "game/BubbleUnit.h"

#include "TestSupport.h"
#include "gamelib/EngineState.h"
#include "gamelib/SpriteUnit.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class BubbleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Engine.OpenHeadless(32);
        LoadAllObjects(SplitLines(BuiltInSpriteScript()));
        Env = DefaultEnvData();
        RandSeed(3);
    }
    void TearDown() override { Pool.reset(); }
    void Create(int32_t percent) {
        Env.BubblesPercent = percent;
        Pool = std::make_unique<TBubbles>();
    }
    int VisibleCount() const {
        return int(std::count_if(Pool->Items.begin(), Pool->Items.begin() + Pool->Count,
                                 [](const auto& bubble) { return bubble->Visible; }));
    }

    TTempProgramFolder Folder;
    TEngineState Engine;
    std::unique_ptr<TBubbles> Pool;
};

} // namespace

TEST_F(BubbleTest, EveryRequestOfAFreeSlotSucceedsAtOneHundredPercentUntilThePoolIsFull) {
    Create(100);
    ASSERT_EQ(Pool->Count, 300);
    EXPECT_EQ(VisibleCount(), 0);
    const int32_t bobsBefore = Bobs->Count;
    for (int i = 1; i <= 300; ++i) {
        Pool->Request(5, 0, 0, -800, 0);
        ASSERT_EQ(VisibleCount(), i);
    }
    Pool->Request(5, 0, 0, -800, 0);
    EXPECT_EQ(VisibleCount(), 300);
    EXPECT_EQ(Bobs->Count, bobsBefore); // nothing made while playing
    // The lowest free slot is taken again.
    Pool->Items[41]->SetVisible(false);
    Pool->Items[7]->SetVisible(false);
    Pool->Request(5, 12, 34, -800, 0);
    EXPECT_TRUE(Pool->Items[7]->Visible);
    EXPECT_FALSE(Pool->Items[41]->Visible);
    EXPECT_EQ(Pool->Items[7]->X, 12.0f);
    EXPECT_EQ(Pool->Items[7]->HomeY, 34.0f + 5000);
    Pool->HideAll();
    EXPECT_EQ(VisibleCount(), 0);
}

TEST_F(BubbleTest, ThePercentageThinsTheRequestsOutAndZeroMakesNoBubbles) {
    Create(0);
    EXPECT_EQ(Pool->Count, 0);
    EXPECT_EQ(Bobs->Count, 0);
    Pool->Request(5, 0, 0, -800, 0);
    Pool->MoveAll();

    Pool.reset();
    Create(50);
    for (int i = 0; i < 200; ++i)
        Pool->Request(5, 0, 0, -800, 0);
    EXPECT_GT(VisibleCount(), 70);
    EXPECT_LT(VisibleCount(), 130);
}

TEST_F(BubbleTest, ABubbleLivesUntilItsAnimationRunsOutOrItLeavesAtTheBottom) {
    Create(100);
    for (int i = 0; i < 300; ++i)
        Pool->Request(5, 0, 0, -800, 3);
    // The shortest of the ten animations has 5 images, the longest 32, each shown 2 updates.
    for (int update = 0; update < 9; ++update)
        Pool->MoveAll();
    EXPECT_EQ(VisibleCount(), 300);
    for (int update = 9; update < 63; ++update)
        Pool->MoveAll();
    EXPECT_GT(VisibleCount(), 0);
    Pool->MoveAll();
    EXPECT_EQ(VisibleCount(), 0);
    // Each one ran out on its "leer" animation.
    for (int32_t i = 0; i < Pool->Count; ++i)
        EXPECT_EQ(Pool->Items[size_t(i)]->Part()->Animation, 10);

    Pool->Request(5, 0, 351, -800, 0);
    ASSERT_EQ(VisibleCount(), 1);
    Pool->MoveAll();
    EXPECT_EQ(VisibleCount(), 0);
}

TEST_F(BubbleTest, ABubbleDriftsWithTheHitAndSinks) {
    Create(100);
    Pool->Request(5, 100, 0, -800, 10);
    TBubble& bubble = *Pool->Items[0];
    EXPECT_FLOAT_EQ(bubble.SmoothedStep[0], 2.0f);
    EXPECT_LE(bubble.SmoothedStep[1], 0.0f);
    EXPECT_GT(bubble.SmoothedStep[1], -0.2f);
    EXPECT_LE(std::abs(bubble.SpringOffset[0]), 5.0f);
    EXPECT_EQ(bubble.SpringOffset[1], 0.0f);
    const float startY = bubble.Y;
    for (int update = 0; update < 8; ++update)
        Pool->MoveAll();
    // Eight updates of a pull near 5000 / 60000 per update squared: about 8 * 9 / 2 / 12.
    EXPECT_GT(bubble.Y, startY + 8 * 9 / 2.0f / 12.0f - 0.2f * 8 - 0.1f);
    EXPECT_LT(bubble.Y, startY + 8 * 9 / 2.0f / 12.0f + 0.1f);
}
