#include "game/SpermUnit.h"

#include "game/LevelObjects.h"
#include "gamelib/DDUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <string>
#include <vector>

namespace {

using TLines = std::vector<std::string>;

// The engine's globals for a headless 800 x 600 screen, the bob list and the sprite objects of
// the enemies alone; the enemies are made by each test on a level of its own.
class SpermTest : public LevelObjectsTest {
  protected:
    void SetUp() override {
        Engine.OpenHeadless(32);
        LoadAllObjects(SplitLines(EnemySprites()));
        Chip = GetAnimation("chip1a");
        Pepper = GetAnimation("pepper1a");
        RandSeed(20240607);
    }

    // Writes the level scrambled as the game reads it and creates the pool of 50 on it.
    TSpermien& Make(const TLines& plain) {
        std::string file;
        for (const std::string& line : plain)
            file += EncodeText(line) + "\r\n";
        Folder.Put("SPS/Level1.txt", file);
        return MakeEnemies();
    }
    // As Make and MakeEnemies, the game started.
    TSpermien& Started(const TLines& plain) {
        Make(plain).Start();
        return *Spermien;
    }
    TSpermien& StartedFromFile() {
        MakeEnemies().Start();
        return *Spermien;
    }
    void Run(TSpermien& s, int updates) {
        for (int i = 0; i < updates; ++i)
            s.Move();
    }
    std::vector<int32_t> VisibleSlots(const TSpermien& s) const {
        std::vector<int32_t> visible;
        for (int32_t i = 1; i <= s.Count(); ++i)
            if (s.Sperm(i).Visible) visible.push_back(i);
        return visible;
    }
    // The message the level reader raises for a statement or row, built from its parts.
    static std::string PositionedMessage(const std::string& message, int mainPointer,
                                         const std::string& order, const std::string& value,
                                         const std::string& suffix) {
        return message + "\r\n (mainpointer=" + std::to_string(mainPointer) +
               ")\r\n (order=" + order + ")\r\n (value=" + value + ")\r\n (xvalue=" + suffix +
               ")\r\n";
    }
    std::string LevelError(TSpermien& s, int maxUpdates) {
        try {
            Run(s, maxUpdates);
        } catch (const ELevelError& e) {
            return e.what();
        }
        return "";
    }
    std::string ErrorAfter(const TLines& plain, int maxUpdates) {
        return LevelError(Started(plain), maxUpdates);
    }

    int32_t Chip = 0, Pepper = 0;
};

// ---- level file -----------------------------------------------------------------------------

TEST_F(SpermTest, StatementsTakeOneUpdateEachAndSetTheLevelSettings) {
    TSpermien& s = Make({"Speed=22",
                         "",
                         "   ",
                         "bobk=pepper1",
                         "BOBSPEED=2,5",
                         "bobspeedstep=0.5",
                         "gap=70",
                         "hello world",
                         "origin=r",
                         "origin=rl",
                         "middleposition=-120.5",
                         "bobprobability=0.75",
                         "bobfreepos=1",
                         "bobfuzzytime=8",
                         "curvet=60",
                         "curveh=-4",
                         "bobdelaytime=3",
                         "bobvisibletime=300",
                         "bobq=nothing",
                         "bob1=chip1",
                         "end",
                         "speed=99"});
    const auto letters = s.LetterTable;
    EXPECT_EQ(s.ScriptLine, -1); // attract mode: no script
    s.Move();
    EXPECT_EQ(s.RowInterval, 50);
    s.Start();
    s.Move();
    EXPECT_EQ(s.RowInterval, 22);
    EXPECT_EQ(s.ScriptLine, 1);
    s.Move(); // the blank lines cost nothing
    EXPECT_EQ(s.LetterTable[10], Pepper);
    EXPECT_EQ(s.BaseSpeed, 0.3);
    s.Move();
    EXPECT_EQ(s.BaseSpeed, 2.5);
    Run(s, 15);
    EXPECT_NE(s.ScriptLine, -1); // "end" is the nineteenth statement
    s.Move();
    EXPECT_EQ(s.ScriptLine, -1);
    Run(s, 5);

    EXPECT_EQ(s.RowInterval, 22);
    EXPECT_EQ(s.SpeedStep, 0.5);
    EXPECT_EQ(s.Gap, 70);
    EXPECT_EQ(s.Origin, 'r'); // "rl" is not one character
    EXPECT_EQ(s.MiddlePosition, -120.5);
    EXPECT_EQ(s.Probability, 0.75);
    EXPECT_TRUE(s.FreePosition);
    EXPECT_EQ(s.FuzzyTime, 8);
    EXPECT_EQ(s.CurveTimeSetting, 60);
    EXPECT_EQ(s.CurveRateSetting, -4);
    EXPECT_EQ(s.DelayTime, 3);
    EXPECT_EQ(s.VisibleTime, 300);
    auto expected = letters;
    expected[10] = Pepper;
    expected[16] = -1;                  // a name of no kind
    EXPECT_EQ(s.LetterTable, expected); // "bob1" names no letter and changes nothing
    EXPECT_EQ(letters[0], 1);           // unassigned letters: the object of their place
    EXPECT_EQ(letters[25], 26);
    EXPECT_TRUE(VisibleSlots(s).empty());
}

TEST_F(SpermTest, KeywordsMatchTheirLongestPrefixAndCommaEqualsPoint) {
    TSpermien& s = Started(
        {"bobspeed=1,25", "bobspeedstep=0.75", "speedy=7", "bobspeed 1.25", "formation", "end"});
    s.Move();
    const double comma = s.BaseSpeed;
    s.Move();
    EXPECT_EQ(s.SpeedStep, 0.75);
    EXPECT_EQ(s.BaseSpeed, comma);
    s.Move();
    EXPECT_EQ(s.RowInterval, 7); // "speed" with the suffix "y"
    s.Move();
    EXPECT_EQ(s.BaseSpeed, 1.25);
    EXPECT_EQ(comma, 1.25);
    // "formation" without a number is a damaged statement.
    EXPECT_EQ(LevelError(s, 1),
              PositionedMessage("'' ist kein gültiger Integerwert", 5, "formation", "", "y"));
}

TEST_F(SpermTest, DamagedStatementsRowsAndWaveListsAreReported) {
    // A statement without "=" keeps the suffix of the one before.
    EXPECT_EQ(ErrorAfter({"bobc=chip1", "speed 12x", "end"}, 3),
              PositionedMessage("'12x' ist kein gültiger Integerwert", 2, "speed", " 12x", "c"));
    EXPECT_EQ(ErrorAfter({"gap=60", "", "gap=1.2.3", "end"}, 3),
              PositionedMessage("1.2.3 ist kein gültiger Gleitkommastring", 3, "gap", "1.2.3", ""));
    EXPECT_NE(ErrorAfter({"bobvisibletime=99999999999", "end"}, 1)
                  .find("'99999999999' ist kein gültiger Integerwert"),
              std::string::npos);
    // Rows longer than a hundred cells, more waves than there are places for.
    const std::string row(101, ';');
    EXPECT_NE(ErrorAfter({"speed=1", "formation1", "end", "DefineFormation1", row, "end"}, 3)
                  .find("more than 100 cells"),
              std::string::npos);
    {
        TLines level;
        for (int i = 0; i < MaxWaves + 1; ++i) {
            level.push_back("wavebegin");
            level.push_back("waveend");
        }
        level.push_back("end");
        TSpermien& s = Started(level);
        Run(s, 2 * MaxWaves);
        EXPECT_EQ(s.WaveCounter, MaxWaves);
        EXPECT_NE(LevelError(s, 1).find("More than 301 waves"), std::string::npos);
    }
}

TEST_F(SpermTest, ALevelCutShortIsReportedNotOverrun) {
    EXPECT_EQ(ErrorAfter({"speed=5", "gap=3", ""}, 10),
              PositionedMessage("The level's script has no \"end\" line", 3, "gap", "3", ""));
    {
        TSpermien& s = Started({"speed=1", "formation1", "end", "DefineFormation1", "c1;"});
        Run(s, 3);
        EXPECT_EQ(VisibleSlots(s).size(), 1u);
        EXPECT_EQ(LevelError(s, 1),
                  PositionedMessage("The level ends inside a formation that has no \"end\" row", 2,
                                    "formation", "1", ""));
    }
    {
        // The file itself cut inside the scrambled "end" line: "en" is no statement.
        std::string file;
        for (const char* line : {"speed=1", "gap=2", "end", "DefineFormation1", "c1;", "end"})
            file += EncodeText(line) + "\r\n";
        file = file.substr(0, (3 * 7 + 2) + (3 * 5 + 2) + 7); // two lines and 2 1/3 groups
        Folder.Put("SPS/Level1.txt", file);
        TSpermien& s = MakeEnemies();
        EXPECT_EQ(s.Lines, (TLines{"speed=1", "gap=2", "en"}));
        s.Start();
        EXPECT_NE(LevelError(s, 5).find("has no \"end\" line"), std::string::npos);
    }
    // A file that was never scrambled decodes to nothing playable.
    Folder.Put("SPS/Level1.txt", "speed=1\r\nend\r\n");
    EXPECT_NE(LevelError(StartedFromFile(), 5).find("has no \"end\" line"), std::string::npos);
    Spermien.reset();
    EXPECT_THROW(TSpermien("SPS\\Level7.txt"), EInOutError);
}

TEST_F(SpermTest, UnknownFormationsAndCellsBringNothing) {
    TSpermien& s = Started({"speed=1", "formation9", "formation1", "end", "definEformation1",
                            "c;c123;x1;?1;cx;;c", "end"});
    Run(s, 2);
    EXPECT_EQ(LogLines(Folder).back(), "Formation 9 nicht gefunden");
    EXPECT_EQ(s.FormationLine, -1);
    Run(s, 2); // the label is found ignoring case; its one row comes an update later
    // Six cells: a letter alone is empty, "c123" is c12, letters of no object and cells
    // without a number bring nothing; the text after the last ";" is no cell.
    ASSERT_EQ(VisibleSlots(s), (std::vector<int32_t>{1}));
    const TSperm& sperm = s.Sperm(1);
    EXPECT_EQ(sperm.Kind, skPepper);
    EXPECT_FLOAT_EQ(sperm.VelocityX(), float(0.3 + 12 * 0.1));
    EXPECT_FLOAT_EQ(sperm.Y, float(0 - 3 * 60 + 60 / 2.0 + 60)); // cell 2 of 6
}

// ---- flight ---------------------------------------------------------------------------------

TEST_F(SpermTest, RowsEnterFromTheirSideCentredOnTheMiddlePosition) {
    // The row of four cells: its two enemies fly at -30 and +90.
    TSpermien& s =
        Started({"speed=1", "formation1", "origin=r", "middleposition=40", "gap=50", "formation2",
                 "origin=o", "formation2", "origin=u", "formation2", "end", "DefineFormation1",
                 ";c1;;c1;", "end", "DefineFormation2", "c1;c1;c1;", "end"});
    Run(s, 3);
    const double v = 0.3 + 0.1; // base speed and one step
    ASSERT_EQ(VisibleSlots(s), (std::vector<int32_t>{1, 2}));
    EXPECT_FLOAT_EQ(s.Sperm(1).Y, -30);
    EXPECT_FLOAT_EQ(s.Sperm(2).Y, 90);
    // Placed just off the left edge, then moved once in the same update.
    EXPECT_FLOAT_EQ(s.Sperm(1).X, float(-400 - 114 / 2.0 + v));
    EXPECT_FLOAT_EQ(s.Sperm(1).Z, -800);

    Run(s, 6); // the end row, origin, middle, gap, formation, first row
    ASSERT_EQ(VisibleSlots(s).size(), 5u);
    for (int i = 0; i < 3; ++i) {
        const TSperm& r = s.Sperm(3 + i);
        EXPECT_FLOAT_EQ(r.Y, float(40 - 50 + 50 * i));
        EXPECT_FLOAT_EQ(r.X, float(400 + 114 / 2.0 - v));
    }
    Run(s, 4);
    for (int i = 0; i < 3; ++i) {
        const TSperm& o = s.Sperm(6 + i);
        EXPECT_FLOAT_EQ(o.X, float(40 - 50 + 50 * i));
        EXPECT_FLOAT_EQ(o.Y, float(-300 - 195 / 2.0 + v));
    }
    Run(s, 4);
    for (int k = 0; k < 100; ++k)
        s.Move();
    for (int i = 0; i < 3; ++i) {
        // Entering from below means flying upwards.
        const TSperm& u = s.Sperm(9 + i);
        EXPECT_FLOAT_EQ(u.X, float(40 - 50 + 50 * i));
        EXPECT_NEAR(u.Y, 300 + 195 / 2.0 - 101 * v, 0.01);
        EXPECT_LT(u.VelocityY(), 0);
    }
}

TEST_F(SpermTest, AWaveFliesItsCurveClockwiseAndItsRowsFollowAtTheRowInterval) {
    TSpermien& s =
        Started({"bobc=chip1", "bobspeed=2", "bobspeedstep=0.5", "speed=10", "middleposition=-200",
                 "curvet=60", "curveh=4", "wavebegin", "formation1", "waveend", "end",
                 "DefineFormation1", "c2;", "c2;", "end"});
    Run(s, 10); // nine statements, then the first row
    ASSERT_EQ(VisibleSlots(s), (std::vector<int32_t>{1}));
    const TSperm& first = s.Sperm(1);
    EXPECT_EQ(first.Wave, 0);
    EXPECT_EQ(first.CurveTime, 60);

    // The path by the turning rule: the turn swings in over 60 updates and out over 60 more.
    const double T = 60, rate = 4 / 1000.0, speed = 2 + 2 * 0.5;
    double x = -400 - 109 / 2.0, y = -200, angle = 0;
    std::vector<std::pair<double, double>> path;
    for (int s = 0; s <= 200; ++s) {
        x += speed * std::cos(angle);
        y += speed * std::sin(angle);
        path.emplace_back(x, y);
        const double f = s <= T ? s / T : s <= 2 * T ? (2 * T - s) / T : 0;
        angle += rate * f;
    }
    EXPECT_NEAR(first.X, path[0].first, 1e-4);
    int done = 0;
    for (int k : {9, 10, 30, 60, 61, 100, 120, 121, 150}) {
        Run(s, k - done);
        done = k;
        EXPECT_NEAR(first.X, path[size_t(k)].first, 0.02) << "update " << k;
        EXPECT_NEAR(first.Y, path[size_t(k)].second, 0.02) << "update " << k;
        if (k == 10) {
            // The second row comes ten updates after the first.
            ASSERT_EQ(VisibleSlots(s), (std::vector<int32_t>{1, 2}));
            EXPECT_NEAR(s.Sperm(2).X, path[0].first, 1e-4);
        }
    }
    // After 2T updates the heading has turned by rate * T, clockwise (downwards), at full speed.
    EXPECT_NEAR(std::atan2(first.VelocityY(), first.VelocityX()), rate * T, 1e-5);
    EXPECT_NEAR(std::hypot(first.VelocityX(), first.VelocityY()), speed, 1e-5);

    // A climbing flight turns clockwise from straight up.
    TSpermien& climbing = Started({"origin=u", "bobspeed=1.9", "curvet=5", "curveh=10", "speed=1",
                                   "formation1", "end", "DefineFormation1", "c1;", "end"});
    Run(climbing, 7 + 12);
    const TSperm& u = climbing.Sperm(1);
    // Turned by rate * T = 0.05 rad from straight up towards the right, at full speed.
    EXPECT_NEAR(u.VelocityX(), 2 * std::sin(0.05), 1e-5);
    EXPECT_NEAR(u.VelocityY(), -2 * std::cos(0.05), 1e-5);
    EXPECT_LT(u.Y, 300 + 195 / 2.0 - 12 * 2 * 0.99); // it climbed all the time
}

TEST_F(SpermTest, AnEscapeIsLoggedAndEndsTheFlight) {
    TSpermien& s = Started({"origin=r", "bobspeed=2.9", "bobspeedstep=0.1", "speed=1", "formation1",
                            "end", "DefineFormation1", "c1;", "end"});
    Run(s, 6); // placed and moved once: x = 457 - 3
    const TSperm& r = s.Sperm(1);
    ASSERT_TRUE(r.Visible);
    // Entirely outside once x + 57 < -400: after 305 moves (457 - 3 * 305 = -458).
    Run(s, 303);
    EXPECT_TRUE(r.Visible);
    EXPECT_FLOAT_EQ(r.X, 457 - 3 * 304);
    s.Move();
    EXPECT_FALSE(r.Visible);
    EXPECT_TRUE(r.Gone);
    EXPECT_EQ(LogLines(Folder).back(), "-458/0");
}

TEST_F(SpermTest, DelayedExtrasShowWithASoundStandStillAndVanish) {
    TSpermien& s = Started({"bobu=umdreh", "origin=x", "bobdelaytime=3", "bobvisibletime=5",
                            "speed=1", "formation1", "end", "DefineFormation1", "u1;", "end"});
    Run(s, 7);
    const TSperm& u = s.Sperm(1);
    EXPECT_FALSE(u.Visible);
    EXPECT_EQ(u.DelayCounter, 2); // counted down once in the update it was placed
    EXPECT_FALSE(u.Free());
    Run(s, 2);
    EXPECT_TRUE(u.Visible);
    ASSERT_EQ(Sounds.size(), 1u);
    EXPECT_EQ(Sounds[0].Name, "extrada");
    EXPECT_EQ(u.Kind, skUmdreh);
    const float x = u.X, y = u.Y;
    EXPECT_EQ(x, std::floor(x));
    EXPECT_GE(x, -400);
    EXPECT_LT(x, 400);
    EXPECT_GE(y, -300);
    EXPECT_LT(y, 300);
    Run(s, 4);
    EXPECT_TRUE(u.Visible);
    EXPECT_EQ(u.X, x);
    EXPECT_EQ(u.Y, y);
    s.Move();
    EXPECT_FALSE(u.Visible);
    ASSERT_EQ(Sounds.size(), 2u);
    EXPECT_EQ(Sounds[1].Name, "extraweg");
    EXPECT_TRUE(u.Free());
}

TEST_F(SpermTest, FuzzyTimeAndFreePositionStayInTheirRanges) {
    // A whole pool of free positions: fifty draws from a range a fifth wider would all stay
    // inside it only once in about nine thousand seeds.
    std::string row;
    for (int i = 0; i < MaxSperms; ++i)
        row += "c1;";
    TSpermien& s = Started({"origin=o", "bobfreepos=1", "bobfuzzytime=3", "speed=1", "formation1",
                            "end", "DefineFormation1", row, "end"});
    Run(s, 6);
    int shown = 0;
    for (int32_t i = 1; i <= MaxSperms; ++i) {
        const TSperm& o = s.Sperm(i);
        EXPECT_GE(o.X, -250);
        EXPECT_LT(o.X, 250);
        EXPECT_EQ(o.X, std::floor(o.X));
        EXPECT_LE(o.DelayCounter, 1);
        shown += o.Visible;
    }
    // A fuzzy delay that comes to 0 shows the enemy at once instead of losing it.
    Run(s, 2);
    EXPECT_EQ(VisibleSlots(s).size(), size_t(MaxSperms));
    EXPECT_GT(shown, 0);
}

// ---- pool and waves -------------------------------------------------------------------------

TEST_F(SpermTest, TheFiftyFirstEnemyIsDropped) {
    std::string row;
    for (int i = 0; i < MaxSperms + 1; ++i)
        row += "c1;";
    TSpermien& s =
        Make({"speed=1", "gap=1", "formation1", "end", "DefineFormation1", row, row, "d1;", "end"});
    EXPECT_THROW(s.AddSperm(), std::runtime_error);
    EXPECT_EQ(s.Count(), MaxSperms);
    s.Start();
    Run(s, 4);
    EXPECT_EQ(VisibleSlots(s).size(), size_t(MaxSperms));
    EXPECT_EQ(s.Statistics.Started[skPepper], MaxSperms);
    // Cell c of 51 sits at -25 + (c - 1): the fiftieth is the last placed.
    EXPECT_FLOAT_EQ(s.Sperm(MaxSperms).Y, -25 + 49);
    s.Move(); // the second row finds no free slot
    EXPECT_EQ(s.Statistics.Started[skPepper], MaxSperms);
    s.Kill(7);
    s.Move(); // the first free slot from 1 upwards
    EXPECT_EQ(s.Sperm(7).Kind, skDauerfeuer);
    EXPECT_EQ(VisibleSlots(s).size(), size_t(MaxSperms));
}

TEST_F(SpermTest, OnlyAWaveKilledWholeAfterItClosedEarnsTheBonusOnce) {
    const TLines level = {"speed=1",    "bobc=chip1", "bobspeed=10",      "wavebegin",
                          "formation1", "waveend",    "wavebegin",        "formation1",
                          "waveend",    "end",        "DefineFormation1", "c1;c1;",
                          "end"};
    TSpermien& s = Started(level);
    Run(s, 6); // wave 0 is open and its row flies
    EXPECT_EQ(s.CurrentWave, 0);
    EXPECT_EQ(s.AliveCount[0], 2);
    s.Kill(1);
    s.Kill(2); // killed whole, but before the wave closed
    EXPECT_EQ(Bonuses, 0);
    Run(s, 5); // end row, waveend, wavebegin, formation, row of wave 1
    EXPECT_EQ(s.CurrentWave, 1);
    Run(s, 2); // end row, waveend
    EXPECT_EQ(s.CurrentWave, -1);
    EXPECT_EQ(s.Sperm(1).Wave, 1);
    s.Kill(s.HitTest(s.Sperm(1).X, s.Sperm(1).Y));
    EXPECT_EQ(Bonuses, 0);
    s.Kill(2);
    EXPECT_EQ(Bonuses, 1);
    EXPECT_EQ(s.Statistics.WavesCompleted, 1);
    ASSERT_EQ(Sounds.size(), 1u);
    EXPECT_EQ(Sounds[0].Name, "wavedone");
    s.Kill(2);
    EXPECT_EQ(Bonuses, 1);
    EXPECT_EQ(s.AliveCount[1], 0);

    // A wave with an enemy that escaped or vanished earns nothing.
    for (const char* visible : {"bobvisibletime=0", "bobvisibletime=30"}) {
        Bonuses = 0;
        TSpermien& s =
            Started({"speed=1", "bobc=chip1", "bobspeed=10", visible, "wavebegin", "formation1",
                     "waveend", "end", "DefineFormation1", "c1;c1;", "end"});
        Run(s, 9);
        ASSERT_EQ(s.CurrentWave, -1);
        s.Kill(1);
        Run(s, 100); // the other one escapes (speed 10.1) or vanishes after 30 updates
        EXPECT_FALSE(s.Sperm(2).Visible);
        EXPECT_EQ(s.AliveCount[0], 1);
        EXPECT_EQ(Bonuses, 0) << visible;
        EXPECT_EQ(s.Statistics.WavesCompleted, 0);
    }
}

TEST_F(SpermTest, OneAInTwentyBringsAB_OutsideEveryWave) {
    // Rows of 40 "a" cells packed on the screen, each killed before the next; "b" stands for
    // the dreieck03 object.
    std::string row;
    for (int i = 0; i < 40; ++i)
        row += "a1;";
    TLines level = {"speed=1", "gap=1", "wavebegin",       "formation1",
                    "waveend", "end",   "DefineFormation1"};
    for (int i = 0; i < 25; ++i)
        level.push_back(row);
    level.push_back("end");
    TSpermien& s = Started(level);
    Run(s, 4);
    int bs = 0, as = 0;
    for (int r = 0; r < 25; ++r) {
        s.Move();
        for (int32_t slot : VisibleSlots(s)) {
            const TSperm& e = s.Sperm(slot);
            if (e.Kind == skUmdreh) {
                ++bs;
                EXPECT_EQ(e.Wave, -1);
            } else {
                ++as;
                EXPECT_EQ(e.Kind, skChip);
                EXPECT_EQ(e.Wave, 0);
            }
            s.Kill(slot);
        }
    }
    EXPECT_EQ(as + bs, 1000);
    EXPECT_GT(bs, 25); // 50 expected
    EXPECT_LT(bs, 80);
    EXPECT_EQ(s.Statistics.Started[skUmdreh], bs);
}

// ---- the crosshair --------------------------------------------------------------------------

TEST_F(SpermTest, TheHitTestUsesStrictEdgesAndTheHighestSlot) {
    TSpermien& s = Make({"end"});
    const auto place = [&s](int32_t slot, int32_t object, float x, float y, float z) {
        TSperm& e = s.Sperm(slot);
        e.Start(object, 0, 0, 'l', 0, 0, 0, -1);
        e.SetX(x);
        e.SetY(y);
        e.SetZ(z);
    };
    place(3, Chip, 100, 50, -800); // 109 x 94
    EXPECT_EQ(s.HitTest(100, 50), 3);
    EXPECT_EQ(s.HitTest(154.5f, 50), -1);
    EXPECT_EQ(s.HitTest(154.4f, 50), 3);
    EXPECT_EQ(s.HitTest(45.5f, 50), -1);
    EXPECT_EQ(s.HitTest(45.6f, 50), 3);
    EXPECT_EQ(s.HitTest(100, 97), -1);
    EXPECT_EQ(s.HitTest(100, 96.9f), 3);
    EXPECT_EQ(s.HitTest(100, 3), -1);
    EXPECT_EQ(s.HitTest(100, 3.1f), 3);

    place(5, Pepper, 150, 50, -800); // 114 x 195, overlapping on the right
    place(9, Pepper, 100, 50, -800);
    s.Sperm(9).SetVisible(false);
    EXPECT_EQ(s.HitTest(120, 50), 5);
    EXPECT_EQ(s.HitTest(92.9f, 50), 3);
    EXPECT_EQ(s.HitTest(93.1f, 50), 5);

    // Twice as deep: half the size, half the distance from the centre.
    place(12, Chip, -400, -200, -1600);
    EXPECT_EQ(s.HitTest(-200, -100), 12);
    EXPECT_EQ(s.HitTest(-200 + 27.25f, -100), -1);
    EXPECT_EQ(s.HitTest(-200 + 27.2f, -100 + 23.4f), 12);
    EXPECT_EQ(s.HitTest(-200, -100 - 23.5f), -1);

    s.Kill(5);
    EXPECT_EQ(s.HitTest(120, 50), 3);
    EXPECT_EQ(s.HitTest(500, 500), -1);
}

// ---- attract screen -------------------------------------------------------------------------

TEST_F(SpermTest, TheAttractScreenSendsDecorationsAcrossAtTheirDepth) {
    TSpermien& s =
        Make({"speed=1", "bobdelaytime=50", "formation1", "end", "DefineFormation1", "c1;", "end"});
    int appeared = 0, left = 0;
    std::vector<bool> was(MaxSperms + 1, false);
    for (int update = 0; update < 6000; ++update) {
        s.Move();
        for (int32_t i = 1; i <= MaxSperms; ++i) {
            const TSperm& e = s.Sperm(i);
            if (e.Visible && !was[size_t(i)]) {
                ++appeared;
                EXPECT_GE(e.Z, -1200);
                EXPECT_LE(e.Z, -400);
                const double k = e.Z / -800.0;
                // Off the left edge at its depth, moving right at 3 to 7 units per update.
                EXPECT_LT(400 + e.X / k, 0);
                EXPECT_GE(e.VelocityX(), 3);
                EXPECT_LT(e.VelocityX(), 7);
                EXPECT_GE(300 + e.Y / k, 49);
                EXPECT_LE(300 + e.Y / k, 550);
                EXPECT_TRUE(e.Part().Object == Chip || e.Part().Object == Pepper);
            }
            if (!e.Visible && was[size_t(i)]) {
                ++left;
                const double k = e.Z / -800.0;
                EXPECT_GT(400 + e.X / k, 800); // hidden past the right edge only
            }
            was[size_t(i)] = e.Visible;
        }
    }
    // About one in 2000 updates per hidden enemy: some 150 in 6000 updates.
    EXPECT_GT(appeared, 75);
    EXPECT_LT(appeared, 300);
    EXPECT_GT(left, 0);

    s.Start();
    EXPECT_TRUE(VisibleSlots(s).empty());
    EXPECT_FALSE(s.AttractMode);
    Run(s, 4); // the delayed enemy waits
    EXPECT_GT(s.Sperm(1).DelayCounter, 0);
    s.Stop();
    s.AttractMode = true;
    EXPECT_TRUE(s.Sperm(1).Free()); // it does not show up after the game
    EXPECT_EQ(s.ScriptLine, -1);
    EXPECT_EQ(s.FormationLine, -1);
}

// ---- the shipped level ----------------------------------------------------------------------

TEST_F(SpermTest, TheShippedLevelPlaysThroughFlawlesslyAndEveryFlightCrossesTheScreen) {
    // Every enemy is shot once its centre is on the screen and its wave has closed (a wave
    // killed whole before its "waveend" earns nothing); the others fly on until they leave.
    Folder.Put("SPS/Level1.txt", ReadWholeFile(CRUMBLE_LEVEL_FILE));
    TSpermien& s = StartedFromFile();
    int updates = 0, flights = 0, unseen = 0;
    std::vector<bool> was(MaxSperms + 1, false), seen(MaxSperms + 1, false);
    while ((s.ScriptLine != -1 || s.FormationLine != -1 || !VisibleSlots(s).empty()) &&
           updates < 20000) {
        ASSERT_NO_THROW(s.Move()) << "update " << updates;
        ++updates;
        for (int32_t i = 1; i <= MaxSperms; ++i) {
            const TSperm& e = s.Sperm(i);
            if (e.Visible && !was[size_t(i)]) {
                ++flights;
                seen[size_t(i)] = false;
            }
            if (e.Visible && std::abs(e.X) < 400 && std::abs(e.Y) < 300) {
                seen[size_t(i)] = true;
                if (e.Wave != s.CurrentWave) s.Kill(i);
            }
            if (!e.Visible && was[size_t(i)] && !seen[size_t(i)]) ++unseen;
            was[size_t(i)] = e.Visible;
        }
    }
    EXPECT_LT(updates, 20000);
    EXPECT_EQ(unseen, 0); // every enemy's centre came on the screen before it left
    EXPECT_GT(flights, 200);
    // Every enemy is of a kind, and every kind, the four extras included, takes part.
    EXPECT_EQ(flights,
              std::accumulate(s.Statistics.Started.begin(), s.Statistics.Started.end(), 0));
    for (int32_t kind = 1; kind <= SpermKindCount; ++kind)
        EXPECT_GT(s.Statistics.Started[size_t(kind)], 0) << kind;
    for (const std::string& line : LogLines(Folder))
        EXPECT_EQ(line.find("nicht gefunden"), std::string::npos) << line;
    EXPECT_GT(s.WaveCounter, 10);
    EXPECT_EQ(s.Statistics.WavesCompleted, s.WaveCounter);
    EXPECT_EQ(Bonuses, s.WaveCounter);
    EXPECT_EQ(Count("wavedone"), s.WaveCounter);
}

} // namespace
