#include "game/scoreunit.h"

#include "GameRecordSamples.h"
#include "TestSupport.h"
#include "gamelib/DDUtil.h"
#include "gamelib/EngineState.h"
#include "gamelib/SpriteUnit.h"
#include "platform/clock.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

constexpr int32_t Second = 50; // updates

class AnzeigeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PrepareFolder();
        Engine.OpenHeadless(32);
        LoadAllObjects(SplitLines(BuiltInSpriteScript()));
        Env = DefaultEnvData();
        RandSeed(1);
        SetClock(&Clock);
        Display = std::make_unique<TAnzeige>();
        TAnzeigeHost& host = Display->Host;
        host.GameRunning = &GameRunning;
        host.GameWon = &GameWon;
        host.GameLost = &GameLost;
        host.Continue = &Continue;
        host.StartTick = &StartTick;
        host.PausedTime = &PausedTime;
        host.PauseCount = &PauseCount;
        host.StopEnemies = [this] { ++EnemiesStopped; };
        host.HidePointers = [this] { ++PointersHidden; };
        host.HidePieces = [this] { ++PiecesHidden; };
        host.Statistics = [this] { return Statistics; };
        host.Sound = [this](const std::string& name, TSoundCue cue) {
            Sounds.emplace_back(name, cue);
        };
    }
    void TearDown() override {
        Display.reset();
        SetClock(nullptr);
    }
    virtual void PrepareFolder() {}

    void Updates(int32_t count) {
        for (int32_t i = 0; i < count; ++i)
            Display->Animate();
    }
    int Played(const std::string& name, TSoundCue cue = TSoundCue::Play) const {
        return int(std::count(Sounds.begin(), Sounds.end(), std::make_pair(name, cue)));
    }
    // Play from the player's click until the clock has run out: the update that ends the game
    // is the last one run.
    void PlayToTheEnd(int32_t score) {
        Display->StartGame();
        GameRunning = true;
        Display->Scorepoints->Score = score;
        Display->Scoretime->TimeLeft = 1;
        Updates(Second);
        ASSERT_TRUE(Display->TimeUp);
    }
    void FillHighscores(std::initializer_list<std::pair<const char*, int32_t>> entries) {
        size_t place = 0;
        for (const auto& [name, score] : entries) {
            Env.Highscores[place].Name.Set(name);
            Env.Highscores[place].Score = score;
            Env.GameRecords[place].Set(std::string("R") + std::to_string(place + 1));
            ++place;
        }
    }
    bool AnyVisible(const auto& objects) const {
        return std::any_of(objects.begin(), objects.end(),
                           [](const auto& o) { return o->Visible; });
    }

    TTempProgramFolder Folder;
    TEngineState Engine;
    TManualClock Clock{100000};
    std::unique_ptr<TAnzeige> Display;
    bool GameRunning = false, GameWon = false, GameLost = false, Continue = false;
    uint32_t StartTick = 0, PausedTime = 0;
    int32_t PauseCount = 0;
    int EnemiesStopped = 0, PointersHidden = 0, PiecesHidden = 0;
    TGameStatistics Statistics;
    std::vector<std::pair<std::string, TSoundCue>> Sounds;
};

} // namespace

TEST_F(AnzeigeTest, TheClockCountsNinetySecondsOfUpdatesOnlyWhilePlaying) {
    EXPECT_FALSE(Display->Scoretime->Visible || Display->Scorepoints->Visible);
    EXPECT_FALSE(Display->Helpfeld->Visible || Display->Ganzewelle->Visible);
    // The clock's label at (-300, -260) from the centre, its big field at the centre.
    int32_t x, y, w, h;
    Display->Scoretime->Label()->ScreenRect(x, y, w, h);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(100, 40));
    Display->Scoretime->BigField()->ScreenRect(x, y, w, h);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(400, 300));
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(460, 222));
    Updates(3 * Second);
    EXPECT_EQ(Display->Scoretime->TimeLeft, 90); // no game running

    Display->StartGame();
    EXPECT_TRUE(Display->Scoretime->Visible);
    GameRunning = true;
    for (int32_t update = 1; update <= 90 * Second; ++update) {
        Display->Animate();
        const int32_t left = 90 - update / Second;
        ASSERT_EQ(Display->Scoretime->TimeLeft, left) << update;
        ASSERT_EQ(Display->TimeUp, left == 0) << update;
        // From ten seconds on the big digits replace the label and the field.
        ASSERT_EQ(Display->Scoretime->BigField()->Visible, left <= 10 && left > 0) << update;
        ASSERT_EQ(Display->Scoretime->Field()->Visible, left > 10) << update;
    }
    // 10, 9, ..., 1 and 0 seconds left.
    EXPECT_EQ(Played("bigtime"), 11);
    // The game ended in the same update; the empty list takes the score, so the name follows.
    EXPECT_EQ(Display->Rank, 1);
    EXPECT_EQ(Display->EndCount, 1);
    EXPECT_FALSE(Display->Scoretime->Visible);
    EXPECT_EQ(EnemiesStopped, 1);
    EXPECT_EQ(PointersHidden, 1);
    EXPECT_EQ(PiecesHidden, 1);
    EXPECT_FALSE(Display->Helpfeld->Visible);
    // The hidden clock stays hidden while the name is typed.
    Updates(3 * Second);
    EXPECT_FALSE(Display->Scoretime->BigField()->Visible);
    EXPECT_EQ(EnemiesStopped, 1);
}

TEST_F(AnzeigeTest, AHighscoreTakesItsPlaceAndTheNameEntryItsKeys) {
    FillHighscores({{"Anna", 9000}, {"Bert", 5000}, {"Cleo", 3000}});
    Env.LastPlayerName.Set("Dora");
    PlayToTheEnd(4000);

    ASSERT_EQ(Display->Rank, 3);
    EXPECT_EQ(Env.Highscores[2].Name.Get(), "Dora");
    EXPECT_EQ(Env.Highscores[2].Score, 4000);
    EXPECT_EQ(Env.Highscores[3].Name.Get(), "Cleo");
    EXPECT_EQ(Env.Highscores[3].Score, 3000);
    // The records move with their entries; the new one is a disguised record.
    EXPECT_EQ(Env.GameRecords[0].Get(), "R1");
    EXPECT_EQ(Env.GameRecords[1].Get(), "R2");
    EXPECT_EQ(Env.GameRecords[3].Get(), "R3");
    EXPECT_TRUE(RevealGameRecord(Env.GameRecords[2].Get()));
    EXPECT_EQ(Played("Back", TSoundCue::Stop), 1);
    for (const auto& dancer : Display->Dancers)
        EXPECT_TRUE(dancer->Visible);

    // One line every 6 updates: line 1 in the 31st update of the end, line 10 in the 85th.
    Updates(29);
    EXPECT_FALSE(Display->HSEntries[0]->Visible);
    Updates(1);
    EXPECT_TRUE(Display->HSEntries[0]->Visible);
    EXPECT_EQ(Display->HSEntries[0]->X, -700.0f);
    EXPECT_EQ(Played("highscore"), 1);
    Updates(6);
    EXPECT_EQ(Display->HSEntries[1]->X, 700.0f);
    EXPECT_FALSE(Display->Editing());
    Updates(6);
    EXPECT_TRUE(Display->Editing());
    EXPECT_TRUE(Display->HSEntries[2]->Editing);
    EXPECT_EQ(Display->HSEntries[2]->Cursor, 5);
    Updates(84 - 43);
    EXPECT_FALSE(Display->HSEntries[9]->Visible);
    EXPECT_EQ(Played("Track 30", TSoundCue::Loop), 0);
    Updates(1);
    EXPECT_TRUE(Display->HSEntries[9]->Visible);
    EXPECT_EQ(Played("Track 30", TSoundCue::Loop), 1);
    EXPECT_EQ(Played("bigtime"), 1 + 10); // the last second, then one per line
    // The lines glide to their places in the table.
    Updates(200);
    for (int32_t i = 1; i <= 10; ++i) {
        EXPECT_NEAR(Display->HSEntries[size_t(i - 1)]->X, 0.0f, 1.0f);
        EXPECT_NEAR(Display->HSEntries[size_t(i - 1)]->Y, float((i - 1) * 28 - 90), 1.0f);
    }
    EXPECT_FALSE(GameWon || Continue);
    EXPECT_TRUE(GameRunning);

    Display->KeyPress(8);
    EXPECT_EQ(Env.Highscores[2].Name.Get(), "Dor_");
    EXPECT_EQ(Display->HSEntries[2]->Cursor, 4);
    EXPECT_EQ(Played("tapp"), 1);
    for (const char c : std::string("abcdefghij"))
        Display->KeyPress(c);
    EXPECT_EQ(Played("tipp"), 10);
    // Ten characters at most: "Dor" and the first seven typed.
    EXPECT_EQ(Env.Highscores[2].Name.Get(), "Dorabcdefg");
    EXPECT_EQ(Display->HSEntries[2]->Cursor, 11);
    Updates(150); // the cursor blinks past the end
    Display->KeyPress(13);
    EXPECT_FALSE(Display->Editing());
    EXPECT_EQ(Env.Highscores[2].Name.Get(), "Dorabcdefg");
    EXPECT_EQ(Env.LastPlayerName.Get(), "Dorabcdefg");
    EXPECT_FALSE(GameRunning);
    EXPECT_TRUE(GameWon);
    EXPECT_FALSE(GameLost);
    EXPECT_TRUE(Continue);
    // Saved at once.
    const TEnvData saved = ReadEnvFile(Folder.File("SPS/env.dat"));
    EXPECT_EQ(saved.Highscores[2].Name.Get(), "Dorabcdefg");
    EXPECT_EQ(saved.Highscores[2].Score, 4000);
    EXPECT_EQ(saved.GameRecords[2].Get(), Env.GameRecords[2].Get());
}

TEST_F(AnzeigeTest, BackspaceAtTheFirstPlaceOnlyTapsAndEscapeFinishes) {
    PlayToTheEnd(100);
    ASSERT_EQ(Display->Rank, 1);
    Updates(30);
    ASSERT_TRUE(Display->Editing());
    EXPECT_EQ(Display->HSEntries[0]->Cursor, 1);
    Updates(60); // one blink to "_" and back
    Display->KeyPress(8);
    EXPECT_EQ(Display->HSEntries[0]->Cursor, 1);
    EXPECT_EQ(Played("tapp"), 1);
    Display->KeyPress('\t'); // no control characters in a name
    Display->KeyPress('Z');
    EXPECT_EQ(Env.Highscores[0].Name.Get(), "Z_");
    Display->KeyPress(27);
    EXPECT_EQ(Env.Highscores[0].Name.Get(), "Z");
    EXPECT_TRUE(GameWon && Continue && !GameRunning);
    // Keys after the entry change nothing.
    Display->KeyPress('Q');
    EXPECT_EQ(Env.Highscores[0].Name.Get(), "Z");
}

TEST_F(AnzeigeTest, AScoreBelowTheTableEndsTheGameAtOnce) {
    for (int32_t place = 0; place < 10; ++place) {
        Env.Highscores[size_t(place)].Name.Set("P" + std::to_string(place + 1));
        Env.Highscores[size_t(place)].Score = 10000 - place * 1000;
    }
    const auto before = EnvToBytes(Env);
    PlayToTheEnd(999);
    EXPECT_EQ(Display->Rank, 0);
    EXPECT_TRUE(GameWon);
    EXPECT_FALSE(GameRunning);
    EXPECT_TRUE(Continue);
    EXPECT_TRUE(EnvToBytes(Env) == before);
    Updates(100);
    EXPECT_FALSE(AnyVisible(Display->Dancers));
    EXPECT_FALSE(AnyVisible(Display->HSEntries));
    EXPECT_FALSE(Display->Editing());
    EXPECT_FALSE(std::filesystem::exists(Folder.File("SPS/env.dat")));
}

TEST_F(AnzeigeTest, TheRecordOfAKnownGame) {
    // The enemies' counters of the known game; the seconds played and the pauses come from
    // the game form: started at 100 s on the clock, paused once for 3.2 s, ended 92.9 s of
    // play later.
    Statistics = KnownGame();
    Statistics.SecondsPlayed = 0;
    Statistics.PauseCount = 0;
    StartTick = 100000;
    PausedTime = 3200;
    PauseCount = 1;
    Clock.Now = 100000 + 3200 + 92900;
    PlayToTheEnd(10700);
    ASSERT_EQ(Display->Rank, 1);
    const auto digits = RevealGameRecord(Env.GameRecords[0].Get());
    ASSERT_TRUE(digits);
    EXPECT_EQ(*digits, GameRecordDigits(MakeGameRecord(KnownGame())));
}

TEST_F(AnzeigeTest, HelpLinesFadeInStayAndFadeOutOneAfterTheOther) {
    Display->StartGame();
    GameRunning = true;
    Updates(100); // the start delay
    EXPECT_FALSE(Display->Helpfeld->Visible);
    Updates(1);
    ASSERT_TRUE(Display->Helpfeld->Visible);
    TBob& part = *Display->Helpfeld->Part();
    EXPECT_EQ(part.Alpha, 0);
    // The line was drawn white into its field.
    const TSprite& image = Sprites[size_t(GetSprite(GetAnimation("helpfeld"), 0, 0))];
    const PDirectDrawSurface& surface = SurfaceTable[size_t(image.Surface)].Surface;
    int white = 0;
    for (int32_t y = 0; y < image.H; ++y)
        for (int32_t x = 0; x < image.W; ++x)
            white += GetPixelColor(surface, image.X + x, image.Y + y) == 0xFFFFFF;
    EXPECT_GT(white, 200);
    // Updates since the line was shown: 3 per update up to 85, held until 300, down by 3 to
    // 386, and the next line 500 updates after the first.
    const std::vector<std::pair<int32_t, int32_t>> fade = {
        {1, 3},     {2, 6},     {84, 252}, {85, 255}, {300, 255},
        {301, 255}, {302, 252}, {385, 3},  {386, 0},  {499, 0}};
    int32_t shownFor = 0;
    for (const auto& [count, alpha] : fade) {
        Updates(count - shownFor);
        shownFor = count;
        EXPECT_EQ(part.Alpha, alpha) << count;
        EXPECT_TRUE(Display->Helpfeld->Visible);
    }
    Updates(1);
    EXPECT_FALSE(Display->Helpfeld->Visible);
    Updates(1);
    EXPECT_TRUE(Display->Helpfeld->Visible); // the second line
    // The first shot of the game ends them.
    Display->HideHelp();
    EXPECT_FALSE(Display->Helpfeld->Visible);
    Updates(600);
    EXPECT_FALSE(Display->Helpfeld->Visible);
}

TEST_F(AnzeigeTest, TheTitleAlternatesTheBannerAndTheTable) {
    EXPECT_TRUE(Display->Title->Visible);
    EXPECT_TRUE(Display->Title->Playandwin()->Visible);
    EXPECT_FALSE(Display->Title->Intro()->Visible);
    EXPECT_FALSE(Display->Title->Intro()->Transparent);
    EXPECT_TRUE(std::all_of(Display->Dancers.begin(), Display->Dancers.end(),
                            [](const auto& dancer) { return dancer->Visible; }));
    // Update 1 puts the banner left of the screen; it waits 150, flies off within 50, then the
    // lines come one every 6 updates, stay 250, leave one every 6 and vanish 50 later.
    Updates(1);
    EXPECT_TRUE(Display->Pressbutton->Visible);
    EXPECT_FLOAT_EQ(Display->Pressbutton->X,
                    2 * (-400 - 375) + Display->Pressbutton->SmoothedStep[0]);
    Updates(206);
    EXPECT_FALSE(Display->HSEntries[0]->Visible);
    Updates(1); // 208
    EXPECT_TRUE(Display->HSEntries[0]->Visible);
    Updates(53); // 261
    EXPECT_FALSE(Display->HSEntries[9]->Visible);
    Updates(1); // 262
    EXPECT_TRUE(Display->HSEntries[9]->Visible);
    EXPECT_EQ(Display->HSEntries[0]->HomeX, 0.0f);
    Updates(256); // 518
    EXPECT_EQ(Display->HSEntries[0]->HomeX, 175.0f + 400 + 1000);
    Updates(103); // 621
    EXPECT_TRUE(Display->HSEntries[9]->Visible);
    Updates(1); // 622
    EXPECT_FALSE(AnyVisible(Display->HSEntries));
    Updates(1); // 623: the banner again, from the left
    EXPECT_LT(Display->Pressbutton->X, -1500.0f);

    // The player's click: the intro plays once, then the whole title goes.
    Display->StartGame();
    EXPECT_FALSE(Display->Pressbutton->Visible);
    EXPECT_FALSE(AnyVisible(Display->Dancers));
    EXPECT_TRUE(Display->Title->Intro()->Visible);
    const int32_t introUpdates = 8 * 15; // eight images for 15 updates each
    Updates(introUpdates - 1);
    EXPECT_TRUE(Display->Title->Intro()->Visible);
    Updates(1);
    EXPECT_FALSE(Display->Title->Visible);
    EXPECT_FALSE(Display->Title->Intro()->Visible);
}

TEST_F(AnzeigeTest, TheWaveBannerFliesThroughAndAddsNothingItself) {
    Display->StartGame();
    Display->AddPoints(1000);
    Display->ShowWaveBanner();
    EXPECT_EQ(Display->Scorepoints->Score, 1000);
    Updates(201);
    EXPECT_TRUE(Display->Ganzewelle->Visible);
    EXPECT_GT(Display->Ganzewelle->X, 1000.0f); // on its way out to the right
    Updates(1);
    EXPECT_FALSE(Display->Ganzewelle->Visible);
    Display->ShowWaveBanner();
    Updates(1);
    EXPECT_LT(Display->Ganzewelle->X, -1500.0f);
}

TEST_F(AnzeigeTest, ALostGameEndsAfterTheGameOverCount) {
    Display->StartGame();
    GameRunning = true;
    Display->SetLost();
    Updates(1);
    EXPECT_TRUE(Display->Gameover->Visible);
    EXPECT_EQ(Played("verloren"), 1);
    for (const auto& entry : Env.Highscores)
        EXPECT_EQ(entry.Score, EmptyHighscore);
    Env.Highscores[9].Score = 50000; // no place for this game
    std::fill(Env.Highscores.begin(), Env.Highscores.end(), Env.Highscores[9]);
    Updates(349);
    EXPECT_FALSE(Continue);
    EXPECT_EQ(Display->Scoretime->TimeLeft, 90); // the clock stands while lost
    Updates(1);
    EXPECT_TRUE(GameLost && Continue && !GameRunning);
    EXPECT_FALSE(GameWon);
}

TEST_F(AnzeigeTest, AnErrorNamesTheLastCompletedStep) {
    Display->Host.StopEnemies = [] { throw std::runtime_error("kaputt"); };
    EXPECT_THROW(PlayToTheEnd(0), std::runtime_error);
    const std::vector<std::string> lines = LogLines(Folder);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "anzeige.animate: step(6) ;");
}

// The display with the generated artwork, drawn the way the game window paints a frame. With
// CRUMBLE_DISPLAY_FRAMES naming a folder, the frames are also written there as PNG pictures.
class AnzeigeFrameTest : public AnzeigeTest {
  protected:
    void PrepareFolder() override {
        const std::filesystem::path gameDir =
            std::filesystem::path(CRUMBLE_TOOL_PATH).parent_path();
        std::filesystem::create_directory_symlink(gameDir / "gfx", Folder.Path + "/gfx");
    }
    // The back buffer after painting the bobs over the play background.
    QImage Frame(const std::string& name) {
        PDirectDrawSurface back = DisplaySurfaces[1];
        EXPECT_TRUE(LoadImageToSurface("gfx\\sb\\Back", back));
        if (!name.empty()) Bobs->Paint();
        QImage image(ScreenWidth, ScreenHeight, QImage::Format_RGB32);
        {
            TSurfaceLock lock(*back);
            for (int32_t y = 0; y < ScreenHeight; ++y)
                std::copy_n(lock.Row(y), ScreenWidth * 4, image.scanLine(y));
        }
        if (const char* folder = std::getenv("CRUMBLE_DISPLAY_FRAMES"); folder && !name.empty())
            image.save(QString::fromStdString(std::string(folder) + "/" + name + ".png"));
        return image;
    }
    // Pixels of the rectangle around a screen centre that differ from the bare background.
    static int Changed(const QImage& frame, const QImage& bare, int cx, int cy, int w, int h) {
        int changed = 0;
        for (int y = std::max(0, cy - h / 2); y < std::min(frame.height(), cy + h / 2); ++y)
            for (int x = std::max(0, cx - w / 2); x < std::min(frame.width(), cx + w / 2); ++x)
                changed += frame.pixel(x, y) != bare.pixel(x, y);
        return changed;
    }
};

// The end-of-game table is painted by the game window's tests, at the 16-bit depth.
TEST_F(AnzeigeFrameTest, TitleAndPlayFramesShowTheirParts) {
    const QImage bare = Frame("");
    FillHighscores({{"Anna", 9000}, {"Bert", 5000}, {"Cleo", 3000}});
    Updates(300); // the table of the title cycle stands
    const QImage title = Frame("title");
    // The first line: its field's top row at 300 - 90 - 25, the text in the rows below.
    EXPECT_GT(Changed(title, bare, 400, 300 - 90 - 25 + 14, 350, 28), 500);
    EXPECT_GT(Changed(title, bare, 400, 54, 209, 32), 500); // "playandwin"

    Display->StartGame();
    GameRunning = true;
    Display->AddPoints(500);
    Updates(200);
    Display->ShowWaveBanner();
    Updates(150);
    const QImage play = Frame("play");
    EXPECT_GT(Changed(play, bare, 100, 95, 336, 60), 300);  // the seconds
    EXPECT_GT(Changed(play, bare, 650, 95, 336, 60), 300);  // the score
    EXPECT_GT(Changed(play, bare, 400, 300, 750, 60), 500); // "1000 EXTRAPUNKTE!"

    Display->Scoretime->TimeLeft = 8;
    Updates(Second);
    const QImage countdown = Frame("countdown");
    EXPECT_GT(Changed(countdown, bare, 400, 300, 460, 222), 2000); // the big 7
}

// The score field's pixels: a sheet of its own that outlives the display of one game.
std::vector<uint32_t> ScoreField() {
    const TSprite& image = Sprites[size_t(GetSprite(GetAnimation("leerpoints"), 0, 0))];
    TSurfaceLock lock(*SurfaceTable[size_t(image.Surface)].Surface);
    std::vector<uint32_t> pixels;
    for (int32_t y = image.Y; y < image.Y + image.H; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(lock.Row(y));
        pixels.insert(pixels.end(), row + image.X, row + image.X + image.W);
    }
    return pixels;
}

TEST_F(AnzeigeFrameTest, ANewGameShowsNoScoreOfTheLastOne) {
    Display->Scorepoints->Redraw();
    const std::vector<uint32_t> zero = ScoreField();
    Display->AddPoints(86600);
    ASSERT_NE(ScoreField(), zero);
    // The next game has a display of its own; the field it shows is the same sheet.
    Display = std::make_unique<TAnzeige>();
    Display->StartGame();
    EXPECT_TRUE(Display->Scorepoints->Visible);
    EXPECT_EQ(ScoreField(), zero);
}
