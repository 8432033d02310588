#include "game/SchussUnit.h"

#include "game/LevelObjects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// The bag's opening as the game defines it: the top of the bag's back part at y 250.
constexpr float BagTop = 250 - 131.0f / 2, BagHalf = 116.0f / 2;

class SchussTest : public LevelObjectsTest {
  protected:
    TSchuss& Piece(int32_t slot) const { return Schuesse->Schuss(slot); }
    const TSpermStatistics& Stats() const { return Spermien->Statistics; }
};

TEST_F(SchussTest, AllHundredPiecesAreMadeHiddenAndTheHundredAndFirstIsDropped) {
    ASSERT_EQ(Schuesse->Count(), 100);
    EXPECT_TRUE(VisiblePieces().empty());
    for (int32_t i = 1; i <= 100; ++i)
        ASSERT_EQ(Schuesse->Spawn(i % 2 ? skChip : skPepper, i % 3, 0, 0, -800, 0), i);
    EXPECT_EQ(Particles.size(), 2000u);
    const auto spawned = Stats().PiecesSpawned;
    EXPECT_EQ(spawned[0][0] + spawned[0][1] + spawned[1][0] + spawned[1][1], 100);
    EXPECT_EQ(Schuesse->Spawn(skChip, 0, 0, 0, -800, 0), -1);
    EXPECT_EQ(Particles.size(), 2000u);
    EXPECT_EQ(Stats().PiecesSpawned, spawned);
    // A piece that goes frees its slot for the next.
    Piece(37).SetVisible(false);
    EXPECT_EQ(Schuesse->Spawn(skChip, 0, 0, 0, -800, 0), 37);
}

TEST_F(SchussTest, ASpawnedPieceJumpsAndFallsFromWhereItStarted) {
    const int32_t slot = Schuesse->Spawn(skPepper, 0, 40, -60, -800, 1.5f);
    ASSERT_EQ(slot, 1);
    const TSchuss& piece = Piece(1);
    EXPECT_TRUE(piece.Visible);
    EXPECT_FALSE(piece.Caught);
    EXPECT_EQ(piece.Part().Object, GetAnimation("pepper1b"));
    EXPECT_EQ(piece.Part().Animation, 0);
    EXPECT_EQ(piece.X, 40);
    EXPECT_EQ(piece.Y, -60);
    EXPECT_EQ(piece.HomeX, 40);
    EXPECT_EQ(piece.HomeY, -60 + 5000);
    EXPECT_EQ(piece.HomeZ, -800);
    EXPECT_EQ(piece.VelocityX(), 1.5f);
    EXPECT_LE(piece.SmoothedStep[1], 0);
    EXPECT_GT(piece.SmoothedStep[1], -10);
    EXPECT_EQ(Stats().PiecesSpawned[1][0], 1);
    // Twenty particles within 50 units, carried along at its speed.
    ASSERT_EQ(Particles.size(), 20u);
    for (const TParticleRequest& p : Particles) {
        EXPECT_EQ(p.Kind, 5);
        EXPECT_GE(p.X, -10);
        EXPECT_LE(p.X, 89);
        EXPECT_GE(p.Y, -110);
        EXPECT_LE(p.Y, -11);
        EXPECT_EQ(p.VX, 1.5f);
        EXPECT_EQ(p.Z, -800);
    }
    // Gravity: each update the fall speeds up by the pull towards a point 5000 below the
    // start, a ten-thousandth of the distance.
    Piece(1).SetX(200); // away from the bag
    float lastY = piece.Y, lastStep = piece.SmoothedStep[1];
    for (int i = 0; i < 40; ++i) {
        const float pull = (piece.HomeY - piece.Y) / 10000;
        Schuesse->Move();
        const float step = piece.Y - lastY;
        EXPECT_NEAR(step, lastStep + pull, 1e-3) << i;
        lastStep = step;
        lastY = piece.Y;
    }
    EXPECT_NEAR(lastStep - piece.SmoothedStep[1], 0, 1e-3);
    EXPECT_GT(lastStep, 40 * 0.45f - 10);
}

TEST_F(SchussTest, TheHitTestIsStrictAndTheHighestSlotWins) {
    Schuesse->Spawn(skChip, 0, 0, 0, -800, 0);  // 61 x 52
    Schuesse->Spawn(skChip, 0, 20, 0, -800, 0); // overlapping slot 1
    EXPECT_EQ(Schuesse->HitTest(10, 0), 2);
    EXPECT_EQ(Schuesse->HitTest(-20, 0), 1);
    EXPECT_EQ(Schuesse->HitTest(-30.5f, 0), -1);
    EXPECT_EQ(Schuesse->HitTest(-30.25f, 0), 1);
    EXPECT_EQ(Schuesse->HitTest(50.5f, 0), -1);
    EXPECT_EQ(Schuesse->HitTest(0, 26), -1);
    EXPECT_EQ(Schuesse->HitTest(0, -25.75f), 2);
    Piece(2).SetVisible(false);
    EXPECT_EQ(Schuesse->HitTest(10, 0), 1);
    // Twice as deep: position and size halve on the screen's plane.
    Piece(1).SetZ(-1600);
    Piece(1).SetX(100);
    EXPECT_EQ(Schuesse->HitTest(50, 0), 1);
    EXPECT_EQ(Schuesse->HitTest(50 + 61.0f / 4 - 0.25f, 0), 1);
    EXPECT_EQ(Schuesse->HitTest(50 + 61.0f / 4, 0), -1);
    EXPECT_EQ(Schuesse->HitTest(100, 0), -1);
}

TEST_F(SchussTest, APieceInTheOpeningIsCaughtSinksAndScoresByItsKind) {
    // A small piece (28 x 24), its bottom edge less 10 at the opening's top.
    const float y = BagTop - 24.0f / 2 + 10;
    Schuesse->Spawn(skChip, 1, 0, y, -800, 0);
    TSchuss& piece = Piece(1);
    piece.Step();
    ASSERT_TRUE(piece.Caught);
    EXPECT_TRUE(piece.Visible);
    EXPECT_EQ(piece.Part().Layer, 2);
    EXPECT_EQ(Stats().PiecesCaught[0][1], 1);
    EXPECT_EQ(Stats().PiecesCaught[0][0], 0);
    EXPECT_EQ(Count("catched"), 1);
    ASSERT_EQ(Popups.size(), 1u);
    EXPECT_EQ(Popups[0].Value, 100);
    EXPECT_EQ(Popups[0].X, 0);
    EXPECT_EQ(Popups[0].Y, y);
    EXPECT_EQ(Popups[0].Z, -802);
    // The bag flashes once and returns to its front image.
    EXPECT_EQ(Pointers->Tuete->Front().Animation, 2);
    EXPECT_EQ(Pointers->Tuete->Front().FollowUp, 1);

    // Caught once only.
    piece.Step();
    EXPECT_EQ(Popups.size(), 1u);
    // Its top exactly at the bag's top stays; below it, it has sunk in.
    piece.SetY(BagTop + 24.0f / 2);
    piece.Step();
    EXPECT_TRUE(piece.Visible);
    piece.SetY(BagTop + 24.0f / 2 + 0.25f);
    piece.Step();
    EXPECT_FALSE(piece.Visible);

    // A pepper piece scores 200, other kinds nothing.
    Schuesse->Spawn(skPepper, 0, 0, BagTop - 107.0f / 2 + 15, -800, 0);
    piece.Step();
    ASSERT_EQ(Popups.size(), 2u);
    EXPECT_EQ(Popups[1].Value, 200);
    EXPECT_EQ(Stats().PiecesCaught[1][0], 1);
    for (int32_t kind : {0, 2, 4, 5, 6, 7, -1})
        EXPECT_EQ(PiecePoints(kind), 0) << kind;
}

TEST_F(SchussTest, ACaughtPieceIsKeptBetweenTheBagsWallsItsSlotReusedAsANewPiece) {
    const float y = BagTop - 52.0f / 2 + 12;
    Schuesse->Spawn(skChip, 0, BagHalf - 1, y, -800, 0);
    Piece(1).Step();
    ASSERT_TRUE(Piece(1).Caught);
    Piece(1).Step();
    EXPECT_EQ(Piece(1).X, BagHalf - 61.0f / 2);
    Piece(1).SetX(-BagHalf + 3);
    Piece(1).Step();
    EXPECT_EQ(Piece(1).X, -BagHalf + 61.0f / 2);
    // The walls move with the bag.
    Pointers->Tuete->SetX(100);
    Piece(1).Step();
    EXPECT_EQ(Piece(1).X, 100 - BagHalf + 61.0f / 2);

    Schuesse->HideAll();
    EXPECT_TRUE(VisiblePieces().empty());
    Schuesse->Spawn(skPepper, 2, 300, 0, -800, 0);
    EXPECT_FALSE(Piece(1).Caught);
    EXPECT_EQ(Piece(1).Part().Layer, 0);
    EXPECT_EQ(Piece(1).Level, 2);
    EXPECT_EQ(Piece(1).Part().Object, GetAnimation("pepper1c"));
    EXPECT_EQ(Stats().PiecesSpawned[1][1], 1);
}

TEST_F(SchussTest, APieceFallingPastTheBagLeavesAtTheEdgeOfItsArea) {
    Schuesse->Spawn(skChip, 0, 200, 0, -800, -0.5f);
    TSchuss& piece = Piece(1);
    float lastY = piece.Y;
    int updates = 0;
    while (piece.Visible && updates < 500) {
        lastY = piece.Y;
        Schuesse->Move();
        ++updates;
    }
    EXPECT_FALSE(piece.Visible);
    EXPECT_LE(lastY, 400);
    EXPECT_GT(piece.Y, 400);
    EXPECT_FALSE(piece.Caught);
    EXPECT_TRUE(Popups.empty());
    EXPECT_EQ(Stats().PiecesCaught[0][0], 0);
    EXPECT_EQ(Count("catched"), 0);

    // The area is wider than the screen, and its border is inside.
    const auto staysAt = [&piece](float x, float y) {
        piece.SetVisible(true);
        piece.SetX(x);
        piece.SetY(y);
        piece.Step();
        return piece.Visible;
    };
    for (const auto& [x, y] : std::vector<std::pair<float, float>>{
             {800, 0}, {-800, 0}, {0, 400}, {0, -400}, {800, -400}})
        EXPECT_TRUE(staysAt(x, y)) << x << "," << y;
    for (const auto& [x, y] :
         std::vector<std::pair<float, float>>{{800.5f, 0}, {-800.5f, 0}, {0, 400.5f}, {0, -400.5f}})
        EXPECT_FALSE(staysAt(x, y)) << x << "," << y;
}

} // namespace
