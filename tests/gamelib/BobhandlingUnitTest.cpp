#include "gamelib/BobhandlingUnit.h"

#include "SpriteScriptBlocks.h"
#include "TestSupport.h"
#include "gamelib/DDUtil.h"
#include "gamelib/EngineState.h"
#include "gamelib/SpriteUnit.h"
#include "shell/Tools.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {

class BobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Engine.OpenHeadless(32);
        LoadAllObjects(SplitLines(Block("tuete", "CreateAnimation", 20, 10, 11, 11, 1,
                                        {"hinten   001; (002/000)", "vorne    002; (002/000)",
                                         "aufblink 011-003; (001/000)"}) +
                                  Block("tanz", "CreateAnimation", 4, 4, 16, 16, 1,
                                        {"standard 1-16; (002/000)", "frozen   1-16; (000/000)"})));
        Tuete = GetAnimation("tuete");
        Tanz = GetAnimation("tanz");
    }
    int32_t Image(const TBob& bob) const {
        return bob.CurrentSprite() - Objects[size_t(bob.Object)].FirstSprite;
    }
    TTempProgramFolder Folder;
    TEngineState Engine;
    int32_t Tuete = 0, Tanz = 0;
};

} // namespace

TEST_F(BobTest, AnimationsStepByTheirFlipSpeed) {
    TBob* bob = nullptr;
    Bobs->Add(Tanz, 0, -1, &bob);
    EXPECT_EQ(bob->Width, 4.0f);
    EXPECT_EQ(Bobs->Item(0), bob);
    bob->Animate();
    EXPECT_EQ(Image(*bob), 1);
    bob->Animate();
    EXPECT_EQ(Image(*bob), 2);
    for (int i = 2; i < 32; ++i)
        bob->Animate();
    EXPECT_EQ(Image(*bob), 1); // a bob whose follow-up is its own animation loops

    bob->SetObjectAnimation(Tanz, 1);
    for (int i = 0; i < 50; ++i)
        bob->Animate();
    EXPECT_EQ(Image(*bob), 1);
    EXPECT_EQ(bob->FlipCounter, 0);

    TBob* bag = nullptr;
    Bobs->Add(Tuete, 0, -1, &bag);
    bag->SetObjectAnimation(Tuete, 2);
    bag->SetFollowUp(1);
    std::vector<int32_t> shown;
    for (int i = 0; i < 12; ++i) {
        shown.push_back(Image(*bag));
        bag->Animate();
    }
    EXPECT_EQ(shown, (std::vector<int32_t>{11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 2, 2}));
    EXPECT_EQ(bag->Animation, 1);
}

TEST_F(BobTest, LoopsCountPassesBeforeTheFollowUp) {
    TBob* bag = nullptr;
    Bobs->Add(Tuete, 2, -1, &bag);
    bag->SetFollowUp(0);
    bag->Loops = 3;
    int calls = 0;
    bag->OnAnimationSet = [&calls] { ++calls; };
    for (int i = 0; i < 26; ++i)
        bag->Animate();
    EXPECT_EQ(bag->Animation, 2);
    EXPECT_EQ(bag->Loops, 1);
    bag->Animate();
    EXPECT_EQ(bag->Animation, 0);
    EXPECT_EQ(bag->Loops, -1);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(Image(*bag), 1);

    bag->Loops = static_cast<int32_t>(0x99999999u); // never runs out
    bag->SetFollowUp(1);
    for (int i = 0; i < 40; ++i)
        bag->Animate();
    EXPECT_EQ(bag->Animation, 0);

    // Hidden, at the first animation of the new object and its offset, sized by its image.
    bag->SetAnimation(TQueuedAnimation{Tanz, -1, 3, 4}, -1);
    EXPECT_EQ(std::make_tuple(bag->Visible, bag->Animation, bag->Object, bag->OffsetX, bag->Width),
              std::make_tuple(false, 0, Tanz, 3, 4.0f));
    TBob* marker = nullptr;
    Bobs->Add(Tanz, 0, 5, &marker);
    marker->SetAnimation(TQueuedAnimation{Tanz, 5, 0, 0}, -1);
    EXPECT_EQ(marker->Animation, -1);
    EXPECT_EQ(marker->Width, 0.0f);
}

TEST_F(BobTest, TheListPaintsByLayerThenDepthAndKeepsTies) {
    TBob *near = nullptr, *far = nullptr, *top = nullptr, *twinA = nullptr, *twinB = nullptr;
    Bobs->Add(Tanz, 0, -1, &near);
    Bobs->Add(Tanz, 0, -1, &top);
    Bobs->Add(Tanz, 0, -1, &twinA);
    Bobs->Add(Tanz, 0, -1, &far);
    Bobs->Add(Tanz, 0, -1, &twinB);
    near->Z = -400;
    far->Z = -800;
    top->Z = -2000;
    top->Layer = 1;
    twinA->Z = twinB->Z = -600;
    Bobs->Paint();
    std::vector<TBob*> order;
    for (int32_t i = 0; i < Bobs->Count; ++i)
        order.push_back(Bobs->Item(i));
    EXPECT_EQ(order, (std::vector<TBob*>{far, twinA, twinB, near, top}));
    EXPECT_EQ(*Bobs->Owner(0), far);

    TBob* stranger = nullptr;
    Bobs->Delete(&stranger);
    EXPECT_EQ(Bobs->Count, 5);
    Bobs->Delete(&twinA);
    EXPECT_EQ(Bobs->Count, 4);
    EXPECT_EQ(Bobs->Item(1), twinB);
    EXPECT_EQ(Bobs->Owner(1), &twinB);
}

TEST_F(BobTest, ProjectionAndBottomClip) {
    TBob* bob = nullptr;
    Bobs->Add(Tuete, 0, -1, &bob);
    bob->X = 100;
    bob->Y = -50;
    bob->Z = -800;
    int32_t cx, cy, w, h;
    bob->ScreenRect(cx, cy, w, h);
    EXPECT_EQ(std::vector<int32_t>({cx, cy, w, h}), std::vector<int32_t>({500, 250, 20, 10}));
    bob->Z = -1600;
    bob->ScreenRect(cx, cy, w, h);
    EXPECT_EQ(std::vector<int32_t>({cx, cy, w, h}), std::vector<int32_t>({450, 275, 10, 5}));
    bob->Flat = true;
    bob->Projected = false;
    bob->ScaleX = 2;
    bob->ScreenRect(cx, cy, w, h);
    EXPECT_EQ(std::vector<int32_t>({cx, cy, w, h}), std::vector<int32_t>({100, -50, 40, 10}));
    bob->Centred = false;
    bob->ScreenRect(cx, cy, w, h);
    EXPECT_EQ(std::vector<int32_t>({cx, cy}), std::vector<int32_t>({120, -45}));

    // Drawn onto the back buffer, cut at the status line.
    Colorfill(SurfaceTable[size_t(Sprites[size_t(bob->CurrentSprite())].Surface)].Surface, 0, 0, 20,
              10, 0x00FF00);
    bob->Flat = false;
    bob->ScaleX = 1;
    bob->X = 0;
    bob->Y = 295;
    bob->Z = -800;
    Engine.SetBottomMargin(3);
    Bobs->Paint();
    const PDirectDrawSurface back = GetBackSurface();
    EXPECT_EQ(GetPixelColor(back, 390, 590), 0x00FF00u);
    EXPECT_EQ(GetPixelColor(back, 409, 596), 0x00FF00u);
    EXPECT_EQ(GetPixelColor(back, 400, 597), 0u);
    bob->Visible = false;
    Colorfill(back, 0);
    Bobs->Paint();
    EXPECT_EQ(GetPixelColor(back, 400, 595), 0u);

    back->MarkLost();
    bob->Visible = true;
    bob->Hint = "tuete";
    EXPECT_THROW(Bobs->Paint(), EDirectXSurfaceLostError);
    EXPECT_EQ(LogLines(Folder).back(), "TBobs.paint:bobarray[0]^.paint tuete");
}

TEST_F(BobTest, BodiesMoveTheirMembersAndGlideHome) {
    RandSeed(42);
    TRBob first;
    RandSeed(42);
    auto body = std::make_unique<TRBob>();
    EXPECT_EQ(body->X, first.X);
    EXPECT_GE(body->X, -250.0f);
    EXPECT_LT(body->X, 250.0f);
    EXPECT_LE(body->Z, -100.0f);
    EXPECT_GE(body->Z, -1099.0f);
    EXPECT_EQ(body->AddBobByName("Tuete", 1, -1, 10, 0, -5), 1);
    EXPECT_THROW(body->AddBobByName("nix", 0, -1, 0, 0, 0), std::runtime_error);
    EXPECT_EQ(body->MemberCount, 1);
    TBob* member = body->Members[0].Bob;
    EXPECT_EQ(member->Hint, "Tuete");
    body->SetX(5);
    body->SetZ(-800);
    EXPECT_EQ(member->X, 15.0f);
    EXPECT_EQ(member->Z, -805.0f);
    body->SetVisible(false);
    EXPECT_FALSE(member->Visible);

    body->HomeX = 5 + 100000; // far away: the step is held at 5 and the speed tends to 50
    body->HomeY = body->Y;
    body->HomeZ = -800;
    for (int i = 0; i < 200; ++i) {
        body->Home();
        body->Move();
    }
    // The smoothed step approaches 10 x 5: 50 per step minus 50 x (1/1.1 + 1/1.1^2 + ...).
    EXPECT_NEAR(body->X - 5, 200 * 50 - 50 * 10, 2);
    EXPECT_EQ(member->X, body->X + 10);
    const int32_t count = Bobs->Count;
    body.reset();
    EXPECT_EQ(Bobs->Count, count - 1);
}

TEST(SoundPanTest, FollowsTheProjectionAndClamps) {
    const TEngineState engine(800, 600);
    EXPECT_EQ(SoundPan(100, -800), 500);
    EXPECT_EQ(SoundPan(100, -1600), 250);
    EXPECT_EQ(SoundPan(3000, -800), 10000);
    EXPECT_EQ(SoundPan(-3000, -800), -10000);
    EXPECT_EQ(SoundPan(0.5f, -800), 2);  // 2.5 rounds to even
    EXPECT_EQ(SoundPan(2.5f, -800), 12); // 12.5 too
    EXPECT_EQ(SoundPan(5, 0), -10000);
}
