#include "game/DDrawUnit.h"

#include "TestSupport.h"
#include "game/SpermUnit.h"
#include "game/scoreunit.h"
#include "gamelib/DDUtil.h"
#include "gamelib/EngineState.h"
#include "gamelib/SpriteUnit.h"
#include "gamelib/ThreadUnit.h"
#include "gamelib/WaveBytes.h"
#include "gamelib/vrDSound.h"
#include "platform/clock.h"
#include "platform/dsound.h"
#include "platform/input.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <QCoreApplication>
#include <QImage>
#include <QPointer>
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

using TState = TDDFullScreenForm1::TStateProc;

// A PCM wave of 8-bit mono silence at 8000 Hz.
std::string SilentWave(uint32_t samples) {
    return PcmWave(1, 8000, 8, std::string(samples, '\x80'));
}

// Whether every line of part appears in lines, in this order (others may come between).
bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& part) {
    auto at = lines.begin();
    for (const std::string& line : part) {
        at = std::find(at, lines.end(), line);
        if (at == lines.end()) return false;
        ++at;
    }
    return true;
}

// Whether lines holds part as one unbroken run.
bool Contains(const std::vector<std::string>& lines, const std::vector<std::string>& part) {
    return std::search(lines.begin(), lines.end(), part.begin(), part.end()) != lines.end();
}

// A headless display that can be sent to the background, where lost surfaces stay lost.
class TSwitchableDisplay : public THeadlessDisplay {
  public:
    TSwitchableDisplay() : THeadlessDisplay(800, 600, 16) {}
    bool Active() const override { return IsActive; }
    bool IsActive = true;
};

// The game window headless, its frames run one by one by the test on a clock of its own.
class GameStatesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SavedEnv = Env;
        SavedGameData = GameData;
        Env = DefaultEnvData();
        DefaultGameData();
        SetDefaultDisplay(Display);
        SetInputOverride(&Input);
        SetClock(&Clock);
        SetDefaultSoundOutput(Sound);
        RandSeed(1);
        Folder.Put("SPS/Level1.txt", ReadWholeFile(CRUMBLE_LEVEL_FILE));
        // A loader picture of its own, so the 5 s wait is sure to apply.
        Folder.Put("gfx/readme", "");
        QImage loader(80, 60, QImage::Format_RGB32);
        loader.fill(Qt::darkCyan);
        loader.save(QString::fromStdString(Folder.Path + "/gfx/loaderpic.bmp"), "BMP");
    }
    void TearDown() override {
        delete Form.data();
        SetDefaultSoundOutput(nullptr);
        SetClock(nullptr);
        SetInputOverride(nullptr);
        SetDefaultDisplay(nullptr);
        Env = SavedEnv;
        GameData = SavedGameData;
    }

    // Shows a new game window; nothing runs until the test runs frames.
    TDDFullScreenForm1& Open() {
        Form = new TDDFullScreenForm1;
        Form->ManualLoop = true;
        Form->show();
        return *Form;
    }
    // Frames, each reporting that many periods, the clock moved on by as much.
    void Frames(int count, int32_t periods = 1) {
        for (int i = 0; i < count && Form; ++i) {
            Clock.Advance(uint32_t(periods) * TLoopThread::Period);
            Form->ThreadNotify(periods);
        }
    }
    // A key or button held for one frame of one period.
    void Press(int key) {
        Input.Keys[key] = true;
        Frames(1);
        Input.Keys[key] = false;
    }
    bool In(TState state) const { return Form && Form->StateProc == state; }
    // Past the loader by a press, to the attract screen; a window is opened if none is.
    void ToAttract() {
        if (!Form) Open();
        Frames(1);
        Press(VK_RETURN);
        ASSERT_TRUE(In(&TDDFullScreenForm1::glsBegin));
    }
    // A press starts the game; 100 updates later it is in play.
    void ToPlay() {
        ToAttract();
        Frames(1);
        Press(VK_RETURN);
        ASSERT_TRUE(In(&TDDFullScreenForm1::glsBegin2));
        Frames(100);
        ASSERT_TRUE(In(&TDDFullScreenForm1::glsLoop));
    }
    void Escape() { Form->FormKeyDown(VK_ESCAPE, false); }
    // Runs the loop's end: the thread's notice, the close, the window freeing itself; the log.
    std::vector<std::string> RunToClose() {
        for (int i = 0; i < 20 && Form; ++i) {
            Clock.Advance(TLoopThread::Period);
            Form->PollLoop();
            QCoreApplication::sendPostedEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        EXPECT_FALSE(Form);
        return LogLines(Folder);
    }
    bool Logged(const std::string& line) const {
        const std::vector<std::string> lines = LogLines(Folder);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool Playing(const std::string& name) const {
        TvrDSoundFile& sound = SoundEngine->Find(name);
        uint32_t status = 0;
        if (sound.Status != ssOK || sound.Buffer->GetStatus(status) != DS_OK) return false;
        return (status & DSBSTATUS_PLAYING) != 0;
    }

    TTempProgramFolder Folder;
    TInputState Input;
    TManualClock Clock{100000};
    std::shared_ptr<TSwitchableDisplay> Display = std::make_shared<TSwitchableDisplay>();
    std::shared_ptr<TOfflineSoundOutput> Sound = std::make_shared<TOfflineSoundOutput>();
    QPointer<TDDFullScreenForm1> Form;
    TEnvData SavedEnv;
    TGameData SavedGameData;
};

TEST_F(GameStatesTest, SetUpLoadsTheScriptAndSoundsAndStartsTheLoopInTheLoaderState) {
    for (const char* name : {"Back", "tipp"})
        Folder.Put(std::string("snd/") + name + ".wav", SilentWave(800));
    Env.MusicVolume = 64;
    Env.EffectsVolume = 10;
    TDDFullScreenForm1& form = Open();
    EXPECT_EQ(DDFullScreenForm1, &form);
    EXPECT_EQ(form.windowTitle().toStdString(), "Crumble Rush");
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsInit));
    EXPECT_TRUE(form.Flipping);
    EXPECT_NE(form.LoaderShownAt, 0u);
    EXPECT_GT(ObjectCount, 0);
    const std::vector<std::string> lines = LogLines(Folder);
    const std::string count = "Lines: " + std::to_string(SplitLines(BuiltInSpriteScript()).size());
    EXPECT_TRUE(InOrder(lines, {"InitDDraw", "InitDDraw (Inherited)", "InitDDraw (Inherited) OK!",
                                "1", count, "2"}));
    EXPECT_TRUE(Contains(lines, {"2a", "2b", "2c", "3", "SetFlipping Begin",
                                 "SetFlipping CreateThread", "CreateThread Begin",
                                 "CreateThread End", "SetFlipping End", "4", "Formshow: End"}));
    EXPECT_FALSE(Logged("Loading external sb.txt"));
    // The sounds take the volumes of the settings.
    ASSERT_EQ(SoundEngine->Find("tipp").Status, ssOK);
    int32_t music = 1, effects = 1;
    SoundEngine->Find("back").Buffer->GetVolume(music);
    SoundEngine->Find("tipp").Buffer->GetVolume(effects);
    EXPECT_EQ(music, VolumeFromLevel(64));
    EXPECT_EQ(effects, VolumeFromLevel(10));

    // Sound switched off in the settings; an external sprite script replaces the built-in one.
    delete Form.data();
    Env.SoundOn = 0;
    Folder.Put("gfx/sb.txt", "; nothing but comments\r\n;\r\n; end\r\n");
    Open();
    EXPECT_EQ(SoundEngine->Find("tipp").Status, ssDisabled);
    EXPECT_TRUE(Contains(LogLines(Folder), {"1", "Loading external sb.txt", "Lines: 3", "2"}));
    EXPECT_EQ(ObjectCount, 0);
}

TEST_F(GameStatesTest, TheLoaderStaysFiveSecondsUnlessAPressEndsIt) {
    TDDFullScreenForm1& form = Open();
    const uint32_t shown = form.LoaderShownAt;
    Frames(1);
    // Each frame moves the clock on by 20 ms first.
    Clock.Now = shown + 4979;
    Frames(1);
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsInit));
    EXPECT_FALSE(Logged("glsInit: Start"));
    Clock.Now = shown + 4980;
    Frames(1);
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsBegin));
    EXPECT_EQ(form.BackgroundName, "GFX\\sb\\Back");

    // A second window: a press right after the loader showed ends the wait.
    delete Form.data();
    EraseLog();
    Open();
    Frames(2);
    Press(VK_LBUTTON);
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsBegin));
    EXPECT_EQ(Form->LoaderShownAt, 0u);
    EXPECT_FALSE(Form->Continue);
    EXPECT_TRUE(Form->SpritesVisible);
    EXPECT_TRUE(
        Contains(LogLines(Folder),
                 {"glsInit: Start", "glsInit: BackImageToSecondarySurface", "Flip(DDFLIP_WAIT)",
                  "glsInit: BackImageToSecondarySurface", "InitLevel: Start", "1", "2", "3", "4",
                  "5", "6", "Initlevel: End", "glsInit: Music on", "glsInit: End"}));
    ASSERT_TRUE(Spermien);
    EXPECT_EQ(Spermien->Count(), 50);
}

TEST_F(GameStatesTest, EscapeDuringTheLoaderClosesWithoutInfoPictureOrSaving) {
    Open();
    Frames(3);
    Escape();
    Frames(1);
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsEnd));
    Frames(1);
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsIdle));
    const std::vector<std::string> lines = RunToClose();
    EXPECT_EQ(DDFullScreenForm1, nullptr);
    EXPECT_TRUE(
        Contains(lines, {"Formkeydown: Escape", "glsInit: Close", "glsEnd: Start", "Back: Start",
                         "Back: Stop flipping", "SetFlipping Begin", "SetFlipping Terminate",
                         "SetFlipping End", "Back: End", "glsEnd: End", "DestroyThread Begin"}));
    EXPECT_FALSE(Logged("glsInit: Start"));
    EXPECT_FALSE(Logged("glsExit: Start"));
    EXPECT_FALSE(FileExists(Folder.Path + "/SPS/game.dat"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "OK");
}

// How the information picture after Escape ends.
enum class TInfoEnd { Press, Escape, Timeout };

class InfoPictureTest : public GameStatesTest, public ::testing::WithParamInterface<TInfoEnd> {};

TEST_P(InfoPictureTest, EscapeDuringPlaySavesAndShowsTheInfoPictureUntilItEnds) {
    Env.GfxSet = 1;
    GameData.Level = 1;
    ToPlay();
    Frames(20);
    Escape();
    Frames(1);
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsExit));
    EXPECT_FALSE(FileExists(Folder.Path + "/SPS/game.dat"));
    const int presented = Display->Presented;
    Frames(1);
    ASSERT_TRUE(In(&TDDFullScreenForm1::glsInfo));
    // Saved, the level gone, the picture of the graphics set flipped to the screen.
    EXPECT_EQ(Folder.Get("SPS/game.dat").substr(1, 18), "Game Datafile v2.0");
    EXPECT_FALSE(Spermien);
    EXPECT_FALSE(Form->SpritesVisible);
    EXPECT_EQ(Form->BackgroundName, "GFX\\fb\\Info");
    EXPECT_EQ(Display->Presented, presented + 1);
    EXPECT_EQ(Form->Countdown, 9000);

    switch (GetParam()) {
    case TInfoEnd::Press:
        Frames(30);
        EXPECT_TRUE(In(&TDDFullScreenForm1::glsInfo));
        Press(VK_RETURN);
        break;
    case TInfoEnd::Escape:
        Frames(30);
        Escape();
        Frames(1);
        break;
    case TInfoEnd::Timeout:
        Frames(899, 10);
        Frames(1, 9);
        EXPECT_TRUE(In(&TDDFullScreenForm1::glsInfo));
        Frames(1);
        break;
    }
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsEnd));
    // Nothing more reached the screen: the picture stayed until the end.
    EXPECT_EQ(Display->Presented, presented + 1);
    const std::vector<std::string> lines = RunToClose();
    EXPECT_TRUE(Contains(lines, {"glsLoop: Close", "glsExit: Start", "CloseLevel: Start",
                                 "CloseLevel: End", "glsExit: Close1", "glsExit: Close2",
                                 "glsExit: Close3", "glsExit: Close4", "glsExit: End"}));
    EXPECT_TRUE(Contains(lines, {"glsInfo: End", "glsEnd: Start", "Back: Start"}));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "OK");
}

INSTANTIATE_TEST_SUITE_P(Ends, InfoPictureTest,
                         ::testing::Values(TInfoEnd::Press, TInfoEnd::Escape, TInfoEnd::Timeout));

TEST_F(GameStatesTest, AFrameRunsAtMostTenUpdatesAndNoneInAPause) {
    ToPlay();
    TDDFullScreenForm1& form = *Form;
    const int32_t before = form.StepCount;
    Frames(1, 50);
    EXPECT_EQ(form.StepCount, before + 10);
    Frames(1, 3);
    EXPECT_EQ(form.StepCount, before + 13);

    // A second P within 200 ms is ignored.
    const int32_t steps = form.StepCount;
    const uint32_t start = Clock.Now;
    form.FormKeyDown('P', false);
    EXPECT_TRUE(form.Paused);
    EXPECT_EQ(form.PauseCount, 1);
    EXPECT_EQ(form.PauseStart, start);
    Frames(5, 2);
    EXPECT_EQ(form.StepCount, steps);
    // 200 ms are not more than 200 ms.
    Clock.Now = start + 200;
    form.FormKeyDown('P', false);
    EXPECT_TRUE(form.Paused);
    EXPECT_EQ(form.PauseCount, 1);
    Clock.Now = start + 201;
    form.FormKeyDown('P', false);
    EXPECT_FALSE(form.Paused);
    EXPECT_EQ(form.PausedTime, 201u);
    Frames(2);
    EXPECT_EQ(form.StepCount, steps + 2);
    // Each pause counts, and the time adds up.
    form.FormKeyDown('P', false);
    EXPECT_EQ(form.PauseCount, 2);
    Clock.Advance(500);
    form.FormKeyDown('P', false);
    EXPECT_EQ(form.PausedTime, 201u + 500u);
    // Ctrl+P is a screenshot, not a pause.
    form.FormKeyDown('P', true);
    EXPECT_FALSE(form.Paused);
    EXPECT_TRUE(FileExists(Folder.Path + "/Screenshots/Shot_1.jpg"));
    // The next game starts its own count.
    Frames(1);
    GameLost = true;
    form.Continue = true;
    Frames(3);
    Press(VK_RETURN);
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsBegin2));
    EXPECT_EQ(form.PauseCount, 0);
    EXPECT_EQ(form.PausedTime, 0u);
    // Escape during a pause still leads.
    Frames(100);
    form.FormKeyDown('P', false);
    Escape();
    Frames(3);
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsInfo));
}

TEST_F(GameStatesTest, PressesDuringPlayAreShotRequestsTheFirstEndsTheHelp) {
    TDDFullScreenForm1& form = Open();
    ToAttract();
    Frames(1);
    Press(VK_RETURN);
    EXPECT_TRUE(GameRunning);
    EXPECT_TRUE(form.FirstShotPending);
    Frames(1);
    Press(VK_LBUTTON);
    // The pointer takes each request in the same update and fires it.
    EXPECT_EQ(form.ShotRequests, 0);
    EXPECT_EQ(Spermien->Statistics.ShotsFired, 1);
    EXPECT_FALSE(form.FirstShotPending);
    // Held down, the button counts once; released and pressed again, once more.
    Frames(1);
    Input.Keys[VK_LBUTTON] = true;
    Frames(5);
    EXPECT_EQ(Spermien->Statistics.ShotsFired, 2);
    Input.Keys[VK_LBUTTON] = false;
    Frames(1);
    Press(VK_RETURN);
    EXPECT_EQ(Spermien->Statistics.ShotsFired, 3);
    // The steering keys, both ways.
    Input.Keys['X'] = true;
    Frames(1);
    EXPECT_TRUE(form.KeyRight);
    EXPECT_FALSE(form.KeyLeft);
    Input.Keys['X'] = false;
    Input.Keys[VK_LEFT] = true;
    Frames(1);
    EXPECT_TRUE(form.KeyLeft);
    EXPECT_FALSE(form.KeyRight);
}

class MusicTest : public GameStatesTest, public ::testing::WithParamInterface<bool> {};

TEST_P(MusicTest, TheTracksPlayOnlyWithMusicOnBeginAlwaysAndTheGamesCount) {
    const bool musicOn = GetParam();
    Env.MusicOn = musicOn;
    Env.GamesStarted = 7;
    Env.GamesWon = 3;
    for (const char* name : {"begin", "Track 30", "back"})
        Folder.Put(std::string("snd/") + name + ".wav", SilentWave(8000));
    ToAttract();
    EXPECT_EQ(Playing("Track 30"), musicOn);
    EXPECT_EQ(Logged("glsInit: Music on"), musicOn);
    EXPECT_FALSE(Playing("begin"));
    Frames(1);
    Press(VK_RETURN);
    EXPECT_TRUE(Playing("begin"));
    EXPECT_FALSE(Playing("Track 30"));
    EXPECT_FALSE(Playing("back"));
    Frames(100);
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsLoop));
    EXPECT_EQ(Env.GamesStarted, 8);
    EXPECT_EQ(Playing("back"), musicOn);
    EXPECT_EQ(SoundEngine->Find("back").Loop, musicOn);
    // Won: the music stops with the game, which counts; the next one begins at once from the
    // attract screen.
    GameWon = true;
    Form->Continue = true;
    Frames(1);
    EXPECT_FALSE(Playing("back"));
    EXPECT_FALSE(SoundEngine->Find("back").Loop);
    EXPECT_FALSE(Playing("Track 30"));
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsExit));
    EXPECT_EQ(Env.GamesWon, 4);
    Frames(1);
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsInit));
    EXPECT_TRUE(Logged("glsExit: Play again"));
    Frames(1);
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsBegin));
    EXPECT_FALSE(GameWon);
    // Lost: not counted.
    Frames(1);
    Press(VK_RETURN);
    EXPECT_EQ(Env.GamesStarted, 9);
    Frames(100);
    GameLost = true;
    Form->Continue = true;
    Frames(3);
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsBegin));
    EXPECT_EQ(Env.GamesWon, 4);
    EXPECT_TRUE(Logged("glsLoop: Lost"));
    // Won and then Escape before the end was taken: counted all the same.
    Frames(1);
    Press(VK_RETURN);
    Frames(100);
    GameWon = true;
    Escape();
    Frames(1);
    EXPECT_EQ(Env.GamesStarted, 10);
    EXPECT_EQ(Env.GamesWon, 5);
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsExit));
}

INSTANTIATE_TEST_SUITE_P(OnOff, MusicTest, ::testing::Bool());

TEST_F(GameStatesTest, TheBackgroundSwaysAlongTheSineOfItsPhaseAndShakes) {
    ToPlay();
    // The offset after n updates of play is the sum of sin(k pi / 1000), k = 1 .. n, rounded.
    const auto swayAfter = [](int n) {
        const double step = std::numbers::pi / 1000;
        return std::sin(n * step / 2) * std::sin((n + 1) * step / 2) / std::sin(step / 2);
    };
    int played = 0;
    for (const int n : {1, 250, 500, 1000, 1400}) {
        Frames((n - played) / 10, 10);
        Frames((n - played) % 10);
        played = n;
        const double sway = swayAfter(n);
        EXPECT_NEAR(Form->SwayOffset, sway, 0.05) << n;
        // Single-precision sums drift a little; far from a half the rounding is certain.
        const double fraction = sway - std::floor(sway);
        if (std::abs(fraction - 0.5) > 0.1) {
            EXPECT_EQ(Form->BackgroundOffset, (int(std::lround(sway)) + 8000) % 800) << n;
        }
    }
    EXPECT_EQ(Form->StepCount, 1400);

    // A shake of 50 alternates by up to five pixels and ends after fifty updates.
    ShakeAmount = 50;
    int largest = 0;
    for (int k = 1; k <= 50; ++k) {
        Frames(1);
        // Negated and one nearer 0 each update: -49, 48, -47, ...
        const int shake = (k % 2 ? -1 : 1) * (50 - k);
        EXPECT_EQ(ShakeAmount, shake) << k;
        // The jolt is the shake in tens (towards 0) on top of the sway's whole pixels.
        const int jolt = shake / 10;
        const int sway = int(std::nearbyint(Form->SwayOffset));
        EXPECT_EQ(Form->BackgroundOffset, (jolt + sway + 8000) % 800) << k;
        largest = std::max(largest, std::abs(jolt));
    }
    EXPECT_EQ(largest, 4);
    EXPECT_EQ(ShakeAmount, 0);
    Frames(1);
    EXPECT_EQ(ShakeAmount, 0);
    EXPECT_EQ(Form->BackgroundOffset, (int(std::nearbyint(Form->SwayOffset)) + 8000) % 800);
    // A shake that starts at -50 jolts by the full 5 pixels once.
    ShakeAmount = -51;
    Frames(1);
    EXPECT_EQ(ShakeAmount, 50);
    EXPECT_EQ(Form->BackgroundOffset, (5 + int(std::nearbyint(Form->SwayOffset)) + 8000) % 800);
    Frames(1);
    EXPECT_EQ(ShakeAmount, -49);
}

TEST_F(GameStatesTest, SurfacesThatNeverComeBackHoldTheGame) {
    TDDFullScreenForm1& form = Open();
    ToPlay();
    const int32_t steps = form.StepCount;
    form.Engine->LoseSurfaces();
    Display->IsActive = false;
    const int presented = Display->Presented;
    Frames(5, 10);
    EXPECT_EQ(form.StepCount, steps);
    EXPECT_TRUE(In(&TDDFullScreenForm1::glsLoop));
    EXPECT_EQ(Display->Presented, presented);
    EXPECT_FALSE(form.ErrorOccurred);
    // Back in front, the next frame restores them and the game goes on.
    Display->IsActive = true;
    Frames(1, 2);
    EXPECT_EQ(form.StepCount, steps + 2);
    EXPECT_FALSE(SurfaceLost);
    EXPECT_EQ(Display->Presented, presented + 1);
}

TEST_F(GameStatesTest, AFailingLevelFileEndsTheGameWithERROR) {
    std::filesystem::remove(Folder.File("SPS/Level1.txt"));
    Open();
    Frames(1);
    Press(VK_RETURN);
    // The set-up failed in InitLevel: the next update leaves.
    EXPECT_TRUE(Form->ErrorOccurred);
    Frames(3);
    const std::vector<std::string> lines = RunToClose();
    EXPECT_TRUE(InOrder(lines, {"InitLevel: Start", "1", "glsInit: Close", "glsEnd: Start"}));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("Exception raised in Threadnotify while glsproc: ");
    }));
    EXPECT_EQ(lines.back(), "ERROR");
    EXPECT_FALSE(Spermien);
}

TEST_F(GameStatesTest, AFailedSaveStillClosesTheLevelAndTheWindowEnds) {
    ToPlay();
    // A folder where the file should be: the save cannot write it.
    std::filesystem::create_directories(Folder.Path + "/SPS/game.dat");
    GameLost = true;
    Form->Continue = true;
    Frames(2);
    EXPECT_FALSE(Spermien);
    EXPECT_TRUE(Form->ErrorOccurred);
    EXPECT_TRUE(Logged("glsExit: End"));
    Frames(3);
    const std::vector<std::string> lines = RunToClose();
    EXPECT_TRUE(
        InOrder(lines, {"glsLoop: Lost", "glsExit: Start", "CloseLevel: End", "glsExit: Play again",
                        "glsExit: End", "glsInit: Close", "glsEnd: Start"}));
    EXPECT_EQ(lines.back(), "ERROR");
}

// The end of a game with a highscore, as the 16-bit window shows it: each table line is a
// 350 x 50 field at the screen plane, its place number ending 45 pixels from its left edge in
// Arial 24 (32 pixels), the first line's centre 90 above the screen's and every further one 28
// lower.
TEST_F(GameStatesTest, TheEndOfGameTableStandsLineUnderLineAtFullSize) {
    Env.LastPlayerName.Set("");
    ToPlay();
    Anzeige->Scoretime->TimeLeft = 1;
    Frames(50);
    ASSERT_TRUE(Anzeige->TimeUp);
    Frames(85 + 250); // the tenth line comes 85 updates after the end began; then it settles
    ASSERT_EQ(Anzeige->Rank, 1);
    for (const char c : std::string("AB"))
        Form->FormKeyPress(c);
    Frames(1);

    ASSERT_EQ(Display->FrameBits, 16);
    const QImage screen(Display->LastFrame.data(), Display->FrameWidth, Display->FrameHeight,
                        Display->FrameWidth * 2, QImage::Format_RGB16);
    const auto dark = [&](int x, int y) {
        const QRgb p = screen.pixel(x, y);
        return qRed(p) < 24 && qGreen(p) < 24 && qBlue(p) < 24;
    };
    const auto red = [&](int x, int y) { return screen.pixel(x, y) == qRgb(255, 0, 0); };
    for (int32_t i = 1; i <= HSEntryCount; ++i) {
        SCOPED_TRACE(i);
        const int left = 400 - 350 / 2, top = 300 - 90 + (i - 1) * 28 - 50 / 2;
        // The rows of this line's digits: below the previous line's underscore, above the next
        // line's text. The colour of its text.
        const auto ink = i == 1 ? std::function<bool(int, int)>(red) : dark;
        int inNumber = 0, elsewhere = 0, firstRow = -1, lastRow = -1;
        for (int y = top + 8; y < top + 28; ++y)
            for (int x = left; x < left + 350; ++x) {
                if (!ink(x, y)) continue;
                if (x < left + 55) {
                    ++inNumber;
                    if (firstRow < 0) firstRow = y;
                    lastRow = y;
                } else {
                    ++elsewhere;
                }
            }
        EXPECT_GT(inNumber, 20);
        // A digit of a 32-pixel font fills all of these rows.
        EXPECT_GT(lastRow - firstRow, 15);
        if (i == 1) {
            // The name from x 55, the score of at least four digits ending at x 350.
            int name = 0, score = 0;
            for (int y = top; y < top + 28; ++y) {
                for (int x = left + 55; x < left + 150; ++x)
                    name += red(x, y);
                for (int x = left + 350 - 60; x < left + 350; ++x)
                    score += red(x, y);
            }
            EXPECT_GT(name, 40);
            EXPECT_GT(score, 40);
        } else {
            // No name, no score: nothing beside the place number.
            EXPECT_EQ(elsewhere, 0);
        }
    }
}

TEST_F(GameStatesTest, ALastingFaultInTheFramesEndsTheWindowInERROR) {
    Open();
    // A locked back surface refuses the background copy of every frame.
    TDDSurfaceDesc locked;
    DisplaySurfaces[1]->Lock(nullptr, locked, DDLOCK_WAIT);
    Frames(2);
    const std::vector<std::string> lines = RunToClose();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "ERROR");
    const auto reports = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with(
            "Exception raised in Threadnotify while BackImageToSecondarySurface: ");
    });
    // The first sends the states to the exit; the second, while closing, ends the loop.
    EXPECT_EQ(reports, 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "OK"), 0);
}

} // namespace
