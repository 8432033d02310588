#include "game/RohrUnit.h"

#include "game/LevelObjects.h"
#include "gamelib/DDUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The bag's geometry as the game defines it.
constexpr float BagY = 250, BagHeight = 131, BagWidth = 116, WideWidth = 232;
constexpr float MascotGap = 36, Step = 9, Limit = 350;
// A piece of 61 x 52, and the centre heights at which its bottom edge less 10 lies at the top
// and the bottom of the opening's band, 20 deep.
constexpr float PieceW = 61, PieceH = 52, BagTop = BagY - BagHeight / 2;
constexpr float High = BagTop - PieceH / 2 + 10, Low = BagTop + 20 - PieceH / 2 + 10;

class RohrTest : public LevelObjectsTest {
  protected:
    void Update(int updates = 1) {
        for (int i = 0; i < updates; ++i)
            Pointers->Move();
    }
    // Shoots once at the world point (x, y).
    void ShootAt(float x, float y) {
        Aim(x, y);
        ++ShotRequests;
        Update();
    }
    TTuete& Bag() const { return *Pointers->Tuete; }
    TCross& Cross() const { return *Pointers->Cross; }
    int32_t ShotsFired() const { return Spermien->Statistics.ShotsFired; }
};

TEST_F(RohrTest, BothStartHiddenWithTheExtrasOffAndIgnoreInputWhileHidden) {
    // A new game's pointer turns every extra off.
    TurnCounter = GunCounter = WideCounter = 7;
    MakeLevelObjects();
    EXPECT_EQ(TurnCounter, 0);
    EXPECT_EQ(GunCounter, 0);
    EXPECT_EQ(WideCounter, 0);
    EXPECT_FALSE(Bag().Visible);
    EXPECT_FALSE(Cross().Visible);
    EXPECT_EQ(Bag().X, 0);
    EXPECT_EQ(Bag().Y, BagY);
    EXPECT_EQ(Bag().Z, -800);
    EXPECT_EQ(Cross().Z, -800);
    EXPECT_EQ(Bag().Back().Layer, 1);
    EXPECT_EQ(Bag().Front().Layer, 3);
    EXPECT_EQ(Bag().LeftMascot().Layer, 0);
    EXPECT_EQ(Bag().RightMascot().Layer, 0);
    EXPECT_EQ(Cross().Part().Layer, 4);
    EXPECT_EQ(Bag().Back().Object, GetAnimation("gametuete"));
    EXPECT_EQ(Bag().Back().Animation, 0);
    EXPECT_EQ(Bag().Front().Animation, 1);
    EXPECT_EQ(Bag().LeftMascot().Object, GetAnimation("snackorwartlr"));
    EXPECT_EQ(Bag().RightMascot().Object, GetAnimation("snackorwartrl"));
    EXPECT_EQ(Bag().LeftMascot().X, -(BagWidth / 2 + MascotGap));
    EXPECT_EQ(Bag().RightMascot().X, BagWidth / 2 + MascotGap);

    Right = true;
    ShotRequests = 2;
    Update(3);
    EXPECT_EQ(Bag().X, 0);
    EXPECT_EQ(ShotRequests, 2);
    EXPECT_EQ(ShotsFired(), 0);
    Pointers->Show();
    EXPECT_TRUE(Bag().LeftMascot().Visible);
    EXPECT_TRUE(Cross().Part().Visible);
    Pointers->Hide();
    EXPECT_FALSE(Bag().Front().Visible);
    EXPECT_FALSE(Cross().Visible);
}

TEST_F(RohrTest, PressesGatheredBetweenUpdatesFireOneShotAndOnlyClickOnceTheGameIsLost) {
    Aim(100, -40);
    ShotRequests = 3;
    Update();
    // The pointer sits under the cursor.
    EXPECT_EQ(Cross().X, 100);
    EXPECT_EQ(Cross().Y, -40);
    EXPECT_EQ(ShotsFired(), 1);
    EXPECT_EQ(ShotRequests, 0);
    ASSERT_EQ(Count("schussab"), 1);
    // Panned at the pointer: five pan units per pixel right of the centre.
    EXPECT_EQ(Sounds.back().Pan, 100 * 5);
    Update(5);
    EXPECT_EQ(ShotsFired(), 1);
    ShotRequests = 1;
    Update();
    EXPECT_EQ(ShotsFired(), 2);

    PlaceEnemy(1, "chip1a", 0, 0);
    LostState = true;
    ShootAt(0, 0);
    EXPECT_EQ(Count("leer"), 1);
    EXPECT_EQ(Count("schussab"), 2);
    EXPECT_EQ(ShotsFired(), 2);
    EXPECT_TRUE(Spermien->Sperm(1).Visible);
    EXPECT_EQ(ShotRequests, 0);
}

TEST_F(RohrTest, RapidFireShootsEveryFifthUpdateWhileTheButtonIsHeld) {
    PlaceEnemy(1, "dreieck05", 0, 0);
    ShootAt(0, 0);
    EXPECT_FALSE(Spermien->Sperm(1).Visible);
    EXPECT_EQ(GunCounter, ExtraDuration);
    EXPECT_EQ(Count("machinegun"), 1);
    EXPECT_EQ(Spermien->Statistics.Hits[skDauerfeuer], 1);

    // Held for 20 updates: the count falls 499, 498, ...; shots where it divides by 5.
    Held = true;
    std::vector<int32_t> shotAt, expected;
    for (int i = 0; i < 20; ++i) {
        const int32_t before = ShotsFired();
        Update();
        if (ShotsFired() > before) shotAt.push_back(GunCounter);
    }
    for (int32_t left = ExtraDuration - 1; left >= ExtraDuration - 20; --left)
        if (left % 5 == 0) expected.push_back(left);
    EXPECT_EQ(shotAt, expected);
    EXPECT_EQ(shotAt.front(), 495);

    // Released: nothing, but a click still shoots at once.
    Held = false;
    const int32_t fired = ShotsFired();
    Update(10);
    EXPECT_EQ(ShotsFired(), fired);
    ++ShotRequests;
    Update();
    EXPECT_EQ(GunCounter % 5, 4); // not a rapid-fire update
    EXPECT_EQ(ShotsFired(), fired + 1);

    // Held to the end: the last shot at 5, none at 0, and "gun" tells the end.
    Held = true;
    const int32_t left = GunCounter;
    const int32_t before = ShotsFired();
    Update(left + 10);
    EXPECT_EQ(GunCounter, 0);
    EXPECT_EQ(ShotsFired() - before, left / 5);
    EXPECT_EQ(Count("gun"), 1);
    EXPECT_EQ(Count("machinegun"), 1);

    // Two hits while it lasts add up.
    PlaceEnemy(1, "dreieck05", 0, 0);
    PlaceEnemy(2, "dreieck05", 200, 0);
    ShootAt(0, 0);
    ShootAt(200, 0);
    EXPECT_EQ(GunCounter, 2 * ExtraDuration - 1);
    EXPECT_EQ(Count("machinegun"), 2);
}

TEST_F(RohrTest, TheBagStaysWithinItsRangeWhateverItsWidth) {
    Right = true;
    for (int n = 1; n <= 45; ++n) {
        Update();
        ASSERT_EQ(Bag().X, std::min(Step * n, Limit)) << n;
    }
    EXPECT_EQ(Bag().RightMascot().X, Limit + BagWidth / 2 + MascotGap);
    Right = false;
    Left = true;
    for (int n = 1; n <= 90; ++n) {
        Update();
        ASSERT_EQ(Bag().X, std::max(Limit - Step * n, -Limit)) << n;
    }
    // Wide, the same range.
    PlaceEnemy(1, "doppelbreit", 0, 0);
    ShootAt(0, 0);
    ASSERT_EQ(Bag().BagWidth(), WideWidth);
    Update(5);
    EXPECT_EQ(Bag().X, -Limit);
    Left = false;
    Right = true;
    Update(100);
    EXPECT_EQ(Bag().X, Limit);
    EXPECT_EQ(Bag().LeftMascot().X, Limit - (WideWidth / 2 + MascotGap));
}

TEST_F(RohrTest, TheTurnedBagSteersMirroredUntilItsCountRunsOut) {
    PlaceEnemy(1, "dreieck03", 0, 0);
    ShootAt(0, 0);
    EXPECT_FALSE(Spermien->Sperm(1).Visible);
    EXPECT_EQ(Count("falschrum"), 1);
    EXPECT_EQ(TurnCounter, ExtraDuration);
    EXPECT_EQ(Particles.size(), 80u);

    Left = true;
    Update();
    EXPECT_EQ(Bag().X, Step);
    EXPECT_EQ(Bag().WalkState, 2);
    EXPECT_EQ(TurnCounter, ExtraDuration - 1);
    // Both keys move left, turned or not.
    Right = true;
    Update();
    EXPECT_EQ(Bag().X, 0);
    Right = false;

    // The update in which the count reaches 0 still steers mirrored; the next one does not.
    TurnCounter = 1;
    Update();
    EXPECT_EQ(Bag().X, Step);
    EXPECT_EQ(TurnCounter, 0);
    EXPECT_EQ(Count("richtigrum"), 1);
    Update();
    EXPECT_EQ(Bag().X, 0);
    EXPECT_EQ(Bag().WalkState, 1);
    EXPECT_EQ(Count("richtigrum"), 1);
    Right = true;
    Update();
    EXPECT_EQ(Bag().X, -Step);
}

TEST_F(RohrTest, ShootingATurnEnemyWhileTurnedTurnsBackAndSparesIt) {
    PlaceEnemy(1, "dreieck03", -200, 0);
    PlaceEnemy(2, "dreieck03", 200, 0);
    ShootAt(-200, 0);
    EXPECT_EQ(TurnCounter, ExtraDuration);
    ShootAt(200, 0);
    EXPECT_EQ(TurnCounter, 0);
    EXPECT_TRUE(Spermien->Sperm(2).Visible);
    EXPECT_EQ(Count("richtigrum"), 1);
    EXPECT_EQ(Particles.size(), 160u);
    // Shot again, it turns the bag once more.
    ShootAt(200, 0);
    EXPECT_EQ(TurnCounter, ExtraDuration);
    EXPECT_FALSE(Spermien->Sperm(2).Visible);
    EXPECT_EQ(Count("falschrum"), 2);
    EXPECT_EQ(Spermien->Statistics.Hits[skUmdreh], 3);
}

TEST_F(RohrTest, TheMascotsChangeOnlyWithTheWalkingDirection) {
    Right = true;
    Update();
    EXPECT_EQ(Bag().WalkState, 2);
    EXPECT_EQ(Bag().LeftMascot().Object, GetAnimation("snackorpushrl"));
    EXPECT_EQ(Bag().RightMascot().Object, GetAnimation("snackorwalklr"));
    // Five images at two updates each: the cycle runs on rather than restarting.
    Update(4);
    EXPECT_EQ(Bag().RightMascot().FramePos, 2);
    Right = false;
    Left = true;
    Update();
    EXPECT_EQ(Bag().WalkState, 1);
    EXPECT_EQ(Bag().LeftMascot().Object, GetAnimation("snackorwalkrl"));
    EXPECT_EQ(Bag().RightMascot().Object, GetAnimation("snackorpushlr"));
    EXPECT_EQ(Bag().LeftMascot().FramePos, 0);
    Left = false;
    Update();
    EXPECT_EQ(Bag().WalkState, 0);
    EXPECT_EQ(Bag().LeftMascot().Object, GetAnimation("snackorwartlr"));
    EXPECT_EQ(Bag().RightMascot().Object, GetAnimation("snackorwartrl"));
}

TEST_F(RohrTest, TwoWideBagHitsGiveAThousandUpdatesOfWideBag) {
    PlaceEnemy(1, "doppelbreit", -100, 0);
    PlaceEnemy(2, "doppelbreit", 100, 0);
    ShootAt(-100, 0);
    EXPECT_EQ(Bag().Back().Object, GetAnimation("gametuetedoppelt"));
    EXPECT_EQ(Bag().Front().Object, GetAnimation("gametuetedoppelt"));
    EXPECT_EQ(Bag().Front().Animation, 1);
    EXPECT_EQ(Bag().RightMascot().X, WideWidth / 2 + MascotGap);
    EXPECT_EQ(Particles.size(), 80u);
    int wide = 1;
    ShootAt(100, 0);
    for (; Bag().BagWidth() == WideWidth && wide < 2000; ++wide)
        Update();
    EXPECT_EQ(wide, 2 * ExtraDuration);
    EXPECT_EQ(Count("breiter"), 1);
    EXPECT_EQ(Count("schmaler"), 1);
    EXPECT_EQ(Bag().Back().Object, GetAnimation("gametuete"));
    EXPECT_EQ(Bag().Back().Animation, 0);
    EXPECT_EQ(Bag().LeftMascot().X, -(BagWidth / 2 + MascotGap));
    EXPECT_EQ(Spermien->Statistics.Hits[skDoppelbreit], 2);
}

TEST_F(RohrTest, ThePieceMustEnterTheOpeningStrictlyBetweenTheBagsSides) {
    TTuete& bag = Bag();
    EXPECT_TRUE(bag.CatchTest(0, High, PieceW, PieceH));
    EXPECT_TRUE(bag.CatchTest(0, Low, PieceW, PieceH));
    EXPECT_FALSE(bag.CatchTest(0, High - 0.25f, PieceW, PieceH));
    EXPECT_FALSE(bag.CatchTest(0, Low + 0.25f, PieceW, PieceH));
    const float y = (High + Low) / 2;
    EXPECT_FALSE(bag.CatchTest(BagWidth / 2, y, PieceW, PieceH));
    EXPECT_TRUE(bag.CatchTest(BagWidth / 2 - 1, y, PieceW, PieceH));
    EXPECT_FALSE(bag.CatchTest(-BagWidth / 2, y, PieceW, PieceH));
    EXPECT_TRUE(bag.CatchTest(-BagWidth / 2 + 1, y, PieceW, PieceH));
    // The width of the piece plays no part.
    EXPECT_TRUE(bag.CatchTest(BagWidth / 2 - 1, y, 500, PieceH));

    // A fast piece, 30 units in one update: above the band before, below it now.
    const float before = High - 5, after = Low + 5;
    EXPECT_FALSE(bag.CatchTest(0, after, PieceW, PieceH));
    EXPECT_TRUE(bag.CatchTest(0, after, PieceW, PieceH, before));
    // The side bounds stay strict; a piece already below the band or rising through it is not.
    EXPECT_FALSE(bag.CatchTest(BagWidth / 2, after, PieceW, PieceH, before));
    EXPECT_TRUE(bag.CatchTest(BagWidth / 2 - 1, after, PieceW, PieceH, before));
    EXPECT_FALSE(bag.CatchTest(0, after + 30, PieceW, PieceH, after));
    EXPECT_FALSE(bag.CatchTest(0, before, PieceW, PieceH, after));

    bag.SetX(-100);
    EXPECT_FALSE(bag.CatchTest(-100 + BagWidth / 2, y, PieceW, PieceH));
    EXPECT_TRUE(bag.CatchTest(-100 + BagWidth / 2 - 1, y, PieceW, PieceH));
    bag.Back().SetObjectAnimation(GetAnimation("gametuetedoppelt"), 0);
    EXPECT_FALSE(bag.CatchTest(-100 - WideWidth / 2, y, PieceW, PieceH));
    EXPECT_TRUE(bag.CatchTest(-100 - WideWidth / 2 + 1, y, PieceW, PieceH));
}

TEST_F(RohrTest, AShotChipOrPepperBurstsIntoThreePiecesOfItsKind) {
    PlaceEnemy(4, "chip1a", 100, -50, 2.5f);
    ShootAt(100, -50);
    EXPECT_FALSE(Spermien->Sperm(4).Visible);
    EXPECT_EQ(Spermien->Statistics.Hits[skChip], 1);
    EXPECT_EQ(ShotsFired(), 1);
    ASSERT_EQ(Count("treffer"), 1);
    const TSoundPlayed& hit = Sounds.back();
    EXPECT_EQ(hit.Name, "treffer");
    EXPECT_EQ(hit.Frequency, 44100u);
    EXPECT_EQ(hit.Pan, 500);

    ASSERT_EQ(VisiblePieces(), (std::vector<int32_t>{1, 2, 3}));
    const float expected[3][2] = {{100, -90}, {70, -30}, {130, -30}};
    for (int32_t slot = 1; slot <= 3; ++slot) {
        const TSchuss& piece = Schuesse->Schuss(slot);
        EXPECT_EQ(piece.X, expected[slot - 1][0]);
        EXPECT_EQ(piece.Y, expected[slot - 1][1]);
        EXPECT_EQ(piece.Z, -800);
        EXPECT_EQ(piece.VelocityX(), 2.5f);
        EXPECT_EQ(piece.Kind, skChip);
        EXPECT_EQ(piece.Level, 0);
        EXPECT_EQ(piece.Part().Object, GetAnimation("chip1b"));
    }
    EXPECT_EQ(Spermien->Statistics.PiecesSpawned[0][0], 3);
    EXPECT_EQ(Particles.size(), 60u);

    PlaceEnemy(1, "pepper1a", -200, 0);
    ShootAt(-200, 0);
    ASSERT_EQ(VisiblePieces().size(), 6u);
    EXPECT_EQ(Schuesse->Schuss(4).Part().Object, GetAnimation("pepper1b"));
    EXPECT_EQ(Spermien->Statistics.PiecesSpawned[1][0], 3);
    EXPECT_EQ(Spermien->Statistics.Hits[skPepper], 1);
}

TEST_F(RohrTest, OnlyChipsAndPeppersBurst) {
    PlaceEnemy(1, "dreieck05", 0, 0);
    PlaceEnemy(2, "dreieck", 100, 0);
    Pointers->Cross->HitEnemy(1);
    Pointers->Cross->HitEnemy(2);
    EXPECT_TRUE(Spermien->Sperm(1).Visible);
    EXPECT_TRUE(Spermien->Sperm(2).Visible);
    EXPECT_TRUE(Sounds.empty());
    EXPECT_TRUE(VisiblePieces().empty());
}

TEST_F(RohrTest, PiecesAreLookedForUpAndLeftOfThePointer) {
    Schuesse->Spawn(skChip, 1, 0, 0, -800, 0); // 28 x 24
    ShootAt(0, 0);
    EXPECT_EQ(VisiblePieces(), std::vector<int32_t>{1});
    EXPECT_EQ(Count("treffer"), 0);
    ShootAt(22, 22);
    EXPECT_EQ(Count("treffer"), 1);
    EXPECT_EQ(Sounds.back().Frequency, 0u);
    // A small piece splits into small pieces, one level further.
    ASSERT_EQ(VisiblePieces(), (std::vector<int32_t>{1, 2, 3}));
    for (int32_t slot = 1; slot <= 3; ++slot) {
        EXPECT_EQ(Schuesse->Schuss(slot).Level, 2);
        EXPECT_EQ(Schuesse->Schuss(slot).Part().Object, GetAnimation("chip1c"));
    }
    EXPECT_EQ(Spermien->Statistics.PiecesSpawned[0][1], 4);
    EXPECT_EQ(Spermien->Statistics.Hits[skChip], 0);
}

TEST_F(RohrTest, TheExplosionSplitsPiecesBeforeItBurstsTheEnemies) {
    PlaceEnemy(1, "chip1a", -250, -100);
    PlaceEnemy(2, "pepper1a", 250, -100);
    PlaceEnemy(3, "dreieck05", 0, -200);
    PlaceEnemy(5, "dreieck", 0, 100);
    ShootAt(0, 100);
    EXPECT_EQ(ShakeAmount, 50);
    EXPECT_EQ(Count("explosion"), 1);
    EXPECT_FALSE(Spermien->Sperm(5).Visible);
    EXPECT_FALSE(Spermien->Sperm(1).Visible);
    EXPECT_FALSE(Spermien->Sperm(2).Visible);
    EXPECT_TRUE(Spermien->Sperm(3).Visible); // other extras stay
    EXPECT_EQ(Count("treffer"), 2);
    // The enemies' pieces come after the sweep and stay whole.
    ASSERT_EQ(VisiblePieces().size(), 6u);
    for (int32_t slot : VisiblePieces())
        EXPECT_EQ(Schuesse->Schuss(slot).Level, 0);
    EXPECT_EQ(Spermien->Statistics.Hits[skExplode], 1);
    EXPECT_EQ(Spermien->Statistics.Hits[skChip], 0);
    EXPECT_EQ(Particles.size(), 120u);
}

TEST_F(RohrTest, TheExplosionsSweepSplitsNewPiecesAheadUntilThePoolIsFull) {
    Schuesse->Spawn(skChip, 0, 0, -200, -800, 0);
    PlaceEnemy(1, "chip1a", -250, -100);
    PlaceEnemy(5, "dreieck", 0, 100);
    ShootAt(0, 100);
    // Each split hides one piece and adds three further on: the pool fills, so the chip's
    // pieces, burst after the sweep, find no slot.
    EXPECT_EQ(VisiblePieces().size(), size_t(MaxSchuesse));
    for (int32_t slot = 1; slot <= MaxSchuesse; ++slot)
        EXPECT_GE(Schuesse->Schuss(slot).Level, 1) << slot;
    EXPECT_FALSE(Spermien->Sperm(1).Visible);
    EXPECT_EQ(Spermien->Statistics.PiecesSpawned[0][0], 1);
}

TEST_F(RohrTest, AnExtraSpraysEightyParticlesAroundThePointer) {
    PlaceEnemy(1, "dreieck05", 120, -40);
    ShootAt(120, -40);
    ASSERT_EQ(Particles.size(), 80u);
    bool spread = false;
    for (const TParticleRequest& p : Particles) {
        EXPECT_EQ(p.Kind, 5);
        EXPECT_GE(p.X, 70);
        EXPECT_LE(p.X, 169);
        EXPECT_GE(p.Y, -90);
        EXPECT_LE(p.Y, 9);
        EXPECT_EQ(p.X, std::floor(p.X));
        EXPECT_EQ(p.Z, -800);
        EXPECT_EQ(p.VX, 0);
        spread = spread || p.X != Particles[0].X;
    }
    EXPECT_TRUE(spread);
}

// ---- frames painted with the game's own sheets ----------------------------------------------

class RohrFrameTest : public RohrTest {
  protected:
    void SetUp() override {
        Engine.OpenHeadless(32);
        std::filesystem::create_directory_symlink(CRUMBLE_GFX_DIR, Folder.Path + "/gfx");
        LoadAllObjects(SplitLines(BuiltInSpriteScript()));
        MakeLevelObjects();
        Pointers->Show();
    }
    // The bobs over a plain background, as the frame paints them.
    void Paint() {
        Colorfill(GetBackSurface(), Background);
        Bobs->Paint();
    }
    uint32_t Pixel(int32_t x, int32_t y) const {
        return GetPixelColor(GetBackSurface(), x, y) & 0xFFFFFF;
    }
    // Pixels other than the background in a rectangle of the screen.
    int Drawn(int32_t left, int32_t top, int32_t right, int32_t bottom) const {
        int drawn = 0;
        for (int32_t y = top; y < bottom; ++y)
            for (int32_t x = left; x < right; ++x)
                drawn += Pixel(x, y) != Background;
        return drawn;
    }
    static constexpr uint32_t Background = 0x2040A0;
};

TEST_F(RohrFrameTest, TheBagStandsAtTheBottomBetweenItsMascotsUnderTheFallingPieces) {
    Right = true;
    Aim(200, -100);
    Update(3);
    Schuesse->Spawn(skChip, 0, -150, 100, -800, 0);
    Schuesse->Spawn(skPepper, 1, -250, -50, -800, 0);
    Paint();
    const int32_t bagX = 400 + int32_t(Bag().X);
    // The bag: centred at the bottom, its lower part cut by the screen's edge.
    EXPECT_GT(Drawn(bagX - 50, 500, bagX + 50, 600), 3000);
    // The mascots beside it.
    EXPECT_GT(Drawn(bagX - 130, 520, bagX - 70, 600), 1000);
    EXPECT_GT(Drawn(bagX + 70, 520, bagX + 130, 600), 1000);
    // The crosshair under the cursor.
    EXPECT_GT(Drawn(MouseX - 22, MouseY - 22, MouseX + 22, MouseY + 22), 100);
    EXPECT_EQ(Drawn(MouseX - 60, MouseY - 60, MouseX - 25, MouseY - 25), 0);
    // The pieces.
    EXPECT_GT(Drawn(250 - 30, 400 - 26, 250 + 30, 400 + 26), 500);
    EXPECT_GT(Drawn(150 - 14, 250 - 24, 150 + 14, 250 + 24), 100);
    // Nothing else.
    EXPECT_EQ(Drawn(0, 0, 100, 100), 0);
    EXPECT_EQ(Drawn(700, 0, 800, 300), 0);
}

} // namespace
