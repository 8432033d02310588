#include "game/DDrawUnit.h"

#include "game/BubbleUnit.h"
#include "game/BubblepointUnit.h"
#include "game/RohrUnit.h"
#include "game/SchussUnit.h"
#include "game/SpermUnit.h"
#include "game/scoreunit.h"
#include "gamelib/BobhandlingUnit.h"
#include "gamelib/DDUtil.h"
#include "gamelib/EngineState.h"
#include "gamelib/SpriteUnit.h"
#include "gamelib/vrDSound.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <QKeyEvent>
#include <algorithm>
#include <cmath>
#include <exception>
#include <numbers>
#include <string>
#include <utility>

TDDFullScreenForm1* DDFullScreenForm1 = nullptr;

bool GameRunning = false;
bool GameLost = false;
bool GameWon = false;
int32_t ShakeAmount = 0;

const std::array<const char*, 2> GfxSetNames = {"sb", "fb"};

std::function<void()> SystemInfoLogger;

namespace {

constexpr int32_t MaxUpdatesPerFrame = 10;
constexpr uint32_t LoaderMinimumMs = 5000;
constexpr uint32_t PauseGuardMs = 200;
constexpr int32_t PauseCost = 1000;
constexpr int32_t BeginUpdates = 100;              // 2 s of "begin" before play
constexpr int32_t InfoUpdates = 9000;              // 3 min of the information picture
constexpr int32_t EnemySlots = 50;                 // and 100 pieces, 300 bubbles, 100 pop-ups
constexpr double SwayStep = 0.0031415926535897933; // pi / 1000 per update: 40 s a period
constexpr double TwoPi = 2 * std::numbers::pi;

TvrDSoundFile* Sound(const std::string& name) {
    return SoundEngine ? &SoundEngine->Find(name) : nullptr;
}

} // namespace

TDDFullScreenForm1::TDDFullScreenForm1(QWidget* owner) : TDDFullScreenForm(owner) {
    setWindowTitle("Crumble Rush");
    Engine->SetAlphaBlend(Env.Transparency != 0);
    SoundOn = Env.SoundOn != 0;
    SoundModeFlag = Env.SoundMode == 2;
    if (Env.StatusLine) Engine->SetBottomMargin(12);
    // No game runs before this window sets one up, whatever an earlier window left.
    GameRunning = GameLost = GameWon = false;
    ShakeAmount = 0;
    // The level objects reach the window through this global, however it was made.
    DDFullScreenForm1 = this;
}

TDDFullScreenForm1::~TDDFullScreenForm1() {
    // A window deleted while a game ran: the objects' bobs go before the engine that holds them.
    FreeLevelObjects();
    if (DDFullScreenForm1 == this) DDFullScreenForm1 = nullptr;
}

std::string TDDFullScreenForm1::GfxPath(const std::string& picture) {
    // A damaged settings file must not index past the table.
    const size_t set = Env.GfxSet < GfxSetNames.size() ? Env.GfxSet : 0;
    return std::string("GFX\\") + GfxSetNames[set] + "\\" + picture;
}

// ---- set-up ---------------------------------------------------------------------------------

void TDDFullScreenForm1::InitDDraw() {
    try {
        WriteLog("InitDDraw");
        TDDFullScreenForm::InitDDraw();
        WriteLog("1");
        const std::vector<std::string> script = SpriteScriptLines();
        WriteLog("Lines: " + std::to_string(script.size()));
        LoadAllObjects(script);
        WriteLog("2");
        SoundEngine->LoadFolder(ProgDir() + "\\snd", 20000);
        WriteLog("2a");
        SoundEngine->SetVolumeAll(VolumeFromLevel(Env.EffectsVolume));
        WriteLog("2b");
        SoundEngine->Find("back").SetVolume(VolumeFromLevel(Env.MusicVolume));
        WriteLog("2c");
        SoundEngine->Find("Track 30").SetVolume(VolumeFromLevel(Env.MusicVolume));
        StateProc = &TDDFullScreenForm1::glsInit;
        WriteLog("3");
        SetFlipping(true);
        WriteLog("4");
    } catch (const std::exception& e) {
        ErrorOccurred = true;
        WriteLog(std::string("Error initiating DirectX: ") + e.what());
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        Closing = true;
    }
}

void TDDFullScreenForm1::FreeDDraw() {
    FreeLevelObjects();
    TDDFullScreenForm::FreeDDraw();
}

// ---- the frame ------------------------------------------------------------------------------

void TDDFullScreenForm1::ThreadNotify(int32_t frames) {
    TDDFullScreenForm::ThreadNotify(frames);
    if (SurfaceLost) {
        try {
            if (!RestoreSurfaces()) return;
        } catch (const std::exception& e) {
            FrameFailed(
                std::string("Exception raised in Threadnotify while trying to restore surfaces: ") +
                e.what());
            return;
        }
    }
    try {
        Frame(frames);
    } catch (const EDirectXSurfaceLostError&) {
        // The flag is set; the next frame restores the surfaces.
    } catch (const std::exception& e) {
        FrameFailed("Exception raised in Threadnotify while " + FStage + ": " + e.what());
        MessageBeep();
    }
}

void TDDFullScreenForm1::Frame(int32_t frames) {
    FStage = "BackImageToSecondarySurface";
    DrawBackground();
    FStage = "Keycheck";
    if (InputDriver) InputDriver();
    Keycheck();
    FStage = "glsproc";
    const int32_t updates = std::min(frames, MaxUpdatesPerFrame);
    for (int32_t i = 0; i < updates; ++i)
        // A pause holds the game, but not the way out: Escape during a pause still closes.
        if ((!Paused || Closing) && StateProc) (this->*StateProc)();
    FStage = "Bobs.Paint";
    if (SpritesVisible && !Closing && Bobs) Bobs->Paint();
    FStage = "Flip(DDFLIP_WAIT)";
    if (!Closing) FlipPage(1);
}

void TDDFullScreenForm1::FrameFailed(const std::string& line) {
    const bool wasClosing = Closing;
    ErrorOccurred = true;
    WriteLog(line);
    Closing = true;
    if (wasClosing && Flipping) Back();
}

// ---- input ----------------------------------------------------------------------------------

void TDDFullScreenForm1::Keycheck() {
    if (GetAsyncKeyState(VK_RETURN) >= 0) {
        EnterReleased = true;
    } else if (EnterReleased) {
        Fire();
        EnterReleased = false;
    }
    if (GetAsyncKeyState(VK_LBUTTON) >= 0) {
        ButtonReleased = true;
    } else if (ButtonReleased) {
        Fire();
        ButtonReleased = false;
    }
    KeyRight = GetAsyncKeyState(VK_RIGHT) < 0 || GetAsyncKeyState('X') < 0;
    KeyLeft = GetAsyncKeyState(VK_LEFT) < 0 || GetAsyncKeyState('Y') < 0;
}

void TDDFullScreenForm1::Fire() {
    if (GameRunning) {
        ShotRequests += 1;
        if (FirstShotPending) {
            FirstShotPending = false;
            AnzeigeHideHelp();
        }
    } else {
        Continue = true;
    }
}

void TDDFullScreenForm1::TogglePause() {
    const uint32_t now = GetTickCount();
    if (Paused) {
        if (now - PauseStart > PauseGuardMs) {
            PausedTime += now - PauseStart;
            Paused = false;
        }
    } else {
        Paused = true;
        PauseCount += 1;
        PauseStart = now;
        AnzeigeLosePoints(PauseCost);
    }
}

void TDDFullScreenForm1::FormKeyDown(int key, bool ctrl) {
    if (key == VK_ESCAPE) {
        WriteLog("Formkeydown: Escape");
        Closing = true;
        EscapePressed = true;
    } else if (key == 'P') {
        if (ctrl)
            TakeScreenshot();
        else if (!AnzeigeTakingName())
            TogglePause();
    }
}

void TDDFullScreenForm1::FormKeyPress(char key) {
    if (SpritesVisible && AnzeigeTakingName()) AnzeigeKeyPress(key);
}

void TDDFullScreenForm1::keyPressEvent(QKeyEvent* e) {
    TDDFullScreenForm::keyPressEvent(e);
    int key = 0;
    if (e->key() == Qt::Key_Escape)
        key = VK_ESCAPE;
    else if (e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z)
        key = e->key(); // letters share their codes with the virtual keys
    if (key != 0) FormKeyDown(key, (e->modifiers() & Qt::ControlModifier) != 0);
    const std::string text = Utf8ToAnsi(e->text().toStdString());
    if (text.size() == 1) FormKeyPress(text[0]);
}

// ---- the level ------------------------------------------------------------------------------

void TDDFullScreenForm1::InitLevel() {
    WriteLog("InitLevel: Start");
    Closing = false;
    GameLost = false;
    GameWon = false;
    GameRunning = false;
    ShakeAmount = 0;
    SwayPhase = 0;
    SwayOffset = 0;
    StepCount = 0;
    WriteLog("1");
    SpermienCreate();
    WriteLog("2");
    PointersCreate();
    WriteLog("3");
    BubblesCreate();
    WriteLog("4");
    BubblpointsCreate();
    WriteLog("5");
    SchuesseCreate();
    WriteLog("6");
    AnzeigeCreate();
    WriteLog("Initlevel: End");
}

void TDDFullScreenForm1::CloseLevel() {
    WriteLog("CloseLevel: Start");
    GameRunning = false;
    SpritesVisible = false;
    FreeLevelObjects();
    WriteLog("CloseLevel: End");
}

void TDDFullScreenForm1::FreeLevelObjects() {
    AnzeigeFree();
    SpermienFree();
    PointersFree();
    SchuesseFree();
    BubblesFree();
    BubblpointsFree();
}

void TDDFullScreenForm1::PlayMusic(const std::string& name) {
    if (TvrDSoundFile* sound = Sound(name)) {
        sound->Loop = true;
        sound->Play();
    }
}

// ---- the states -----------------------------------------------------------------------------

void TDDFullScreenForm1::glsInit() {
    if (Closing) {
        WriteLog("glsInit: Close");
        StateProc = &TDDFullScreenForm1::glsEnd;
        return;
    }
    // A press ends the loader's wait.
    if (Continue) {
        LoaderShownAt = 0;
        Continue = false;
    }
    if (LoaderShownAt != 0 && GetTickCount() - LoaderShownAt < LoaderMinimumMs) return;

    WriteLog("glsInit: Start");
    SetBackgroundImage(GfxPath("Back"));
    WriteLog("glsInit: BackImageToSecondarySurface");
    DrawBackground();
    WriteLog("Flip(DDFLIP_WAIT)");
    FlipPage(1);
    // The other page gets the background too.
    WriteLog("glsInit: BackImageToSecondarySurface");
    DrawBackground();

    InitLevel();
    ShowStatusText("ESC->zurück zum Menü");
    Continue = false;
    StateProc = &TDDFullScreenForm1::glsBegin;
    if (Env.MusicOn) {
        WriteLog("glsInit: Music on");
        PlayMusic("Track 30");
    }
    SpritesVisible = true;
    BackgroundOffset = 0;
    if (SystemInfoLogger) SystemInfoLogger();
    WriteLog("glsInit: End");
}

void TDDFullScreenForm1::glsBegin() {
    if (Closing) {
        WriteLog("glsBegin: Close");
        StateProc = &TDDFullScreenForm1::glsExit;
        return;
    }
    int32_t step = -1;
    try {
        AnzeigeStep();
        step = 1;
        SpermienMove();
        step = 2;
        BubblesMove();
    } catch (...) {
        WriteLog("glsbegin: step(" + std::to_string(step) + ") ;");
        throw;
    }
    if (!Continue) return;

    StartTick = GetTickCount();
    PausedTime = 0;
    PauseCount = 0;
    WriteLog("glsBegin: Return");
    AnzeigeStartGame();
    SpermienStart();
    FirstShotPending = true;
    if (Env.MusicOn)
        if (TvrDSoundFile* music = Sound("Track 30")) music->Stop();
    if (TvrDSoundFile* begin = Sound("begin")) begin->Play();
    Countdown = BeginUpdates;
    GameRunning = true;
    PointersShow();
    StateProc = &TDDFullScreenForm1::glsBegin2;
    Env.GamesStarted += 1;
}

void TDDFullScreenForm1::glsBegin2() {
    if (Closing) {
        WriteLog("glsBegin2: Close");
        StateProc = &TDDFullScreenForm1::glsExit;
        return;
    }
    UpdateMouse();
    AnzeigeStep();
    PointersMove();
    SchuesseMove();
    Countdown -= 1;
    if (Countdown != 0) return;

    WriteLog("glsBegin2: Return");
    StateProc = &TDDFullScreenForm1::glsLoop;
    if (Env.MusicOn)
        if (TvrDSoundFile* music = Sound("back")) {
            music->SetPosition(0);
            music->Loop = true;
            music->Play();
        }
}

void TDDFullScreenForm1::glsLoop() {
    const auto stopMusic = [] {
        if (TvrDSoundFile* music = Sound("back")) {
            music->Loop = false;
            music->Stop();
        }
    };
    if (Closing) {
        WriteLog("glsLoop: Close");
        if (GameWon) Env.GamesWon += 1;
        BackgroundOffset = 0;
        StateProc = &TDDFullScreenForm1::glsExit;
    } else if (GameLost && Continue) {
        WriteLog("glsLoop: Lost");
        BackgroundOffset = 0;
        stopMusic();
        StateProc = &TDDFullScreenForm1::glsExit;
    } else if (GameWon && Continue) {
        WriteLog("glsLoop: Won");
        Env.GamesWon += 1;
        BackgroundOffset = 0;
        stopMusic();
        StateProc = &TDDFullScreenForm1::glsExit;
    } else {
        PlayStep();
    }
}

void TDDFullScreenForm1::PlayStep() {
    UpdateMouse();
    StepCount += 1;
    SpermienMove();
    PointersMove();
    SchuesseMove();
    AnzeigeStep();
    BubblesMove();
    BubblpointsMove();
    Sway();
}

void TDDFullScreenForm1::Sway() {
    // Single-precision fields, each sum taken in double and stored back as single.
    SwayPhase = static_cast<float>(double(SwayPhase) + SwayStep);
    if (double(SwayPhase) > TwoPi) SwayPhase = static_cast<float>(double(SwayPhase) - TwoPi);
    SwayOffset = static_cast<float>(double(SwayOffset) + std::sin(double(SwayPhase)) * 1.0);
    if (ShakeAmount != 0) {
        // Alternate the sign and shrink by one towards 0.
        ShakeAmount = -ShakeAmount;
        ShakeAmount += ShakeAmount > 0 ? -1 : 1;
    }
    // nearbyint rounds halves to even in the default rounding mode.
    const int64_t sway = static_cast<int64_t>(std::nearbyint(double(SwayOffset)));
    BackgroundOffset = static_cast<int32_t>((int64_t(ShakeAmount / 10) + sway + 8000) % 800);
}

void TDDFullScreenForm1::glsExit() {
    WriteLog("glsExit: Start");
    // A failed save still closes the level and moves on; the frame then reports the failure.
    std::exception_ptr saveError;
    try {
        SaveGameData("SPS\\game.dat");
    } catch (const std::exception&) {
        saveError = std::current_exception();
    }
    CloseLevel();
    if (Closing) {
        WriteLog("glsExit: Close1");
        SetBackgroundImage(GfxPath("Info"));
        WriteLog("glsExit: Close2");
        DrawBackground();
        WriteLog("glsExit: Close3");
        FlipPage(1);
        WriteLog("glsExit: Close4");
        StateProc = &TDDFullScreenForm1::glsInfo;
        Continue = false;
        EscapePressed = false;
        Countdown = InfoUpdates;
    } else {
        WriteLog("glsExit: Play again");
        StateProc = &TDDFullScreenForm1::glsInit;
    }
    WriteLog("glsExit: End");
    if (saveError) std::rethrow_exception(saveError);
}

void TDDFullScreenForm1::glsInfo() {
    Countdown -= 1;
    if (Countdown != 0 && !Continue && !EscapePressed) return;
    WriteLog("glsInfo: End");
    StateProc = &TDDFullScreenForm1::glsEnd;
}

void TDDFullScreenForm1::glsEnd() {
    WriteLog("glsEnd: Start");
    Back();
    StateProc = &TDDFullScreenForm1::glsIdle;
    WriteLog("glsEnd: End");
}

void TDDFullScreenForm1::glsIdle() {}

// ---- the level objects ----------------------------------------------------------------------
// One block per object. The display, the bag with the pointer, the pieces, the bubbles and the
// pop-ups join here with their units: each method of a block becomes a call on its global list,
// created with the pool size named below.

// The display: created last by InitLevel (it links the enemies' LostState, LoseByEscape and
// WaveBonus to itself); steps in glsBegin, glsBegin2 and glsLoop.
void TDDFullScreenForm1::AnzeigeCreate() {
    Anzeige = std::make_unique<TAnzeige>();
    TAnzeigeHost& host = Anzeige->Host;
    host.GameRunning = &GameRunning;
    host.GameWon = &GameWon;
    host.GameLost = &GameLost;
    host.Continue = &Continue;
    host.StartTick = &StartTick;
    host.PausedTime = &PausedTime;
    host.PauseCount = &PauseCount;
    host.StopEnemies = [] {
        if (!Spermien) return;
        Spermien->Stop();
        Spermien->AttractMode = true;
    };
    host.HidePointers = [] {
        if (Pointers) Pointers->Hide();
    };
    host.HidePieces = [] {
        if (Schuesse) Schuesse->HideAll();
    };
    host.Statistics = [] {
        TGameStatistics result;
        if (!Spermien) return result;
        const TSpermStatistics& s = Spermien->Statistics;
        result.ShotsFired = s.ShotsFired;
        result.WavesCompleted = s.WavesCompleted;
        for (size_t kind = 1; kind < result.Started.size() && kind < s.Started.size(); ++kind) {
            result.Started[kind] = s.Started[kind];
            result.Hits[kind] = s.Hits[kind];
        }
        // [chip 0 / pepper 1][level 0 / higher 1]
        result.ChipSpawned0 = s.PiecesSpawned[0][0];
        result.ChipCaught0 = s.PiecesCaught[0][0];
        result.PepperSpawned0 = s.PiecesSpawned[1][0];
        result.PepperCaught0 = s.PiecesCaught[1][0];
        result.ChipSpawnedHigher = s.PiecesSpawned[0][1];
        result.ChipCaughtHigher = s.PiecesCaught[0][1];
        result.PepperSpawnedHigher = s.PiecesSpawned[1][1];
        result.PepperCaughtHigher = s.PiecesCaught[1][1];
        return result;
    };
    if (Spermien) {
        Spermien->Links.LostState = [] { return Anzeige && Anzeige->LostState; };
        Spermien->Links.LoseByEscape = [] {
            if (Anzeige) Anzeige->SetLost();
        };
        Spermien->Links.WaveBonus = [] {
            if (!Anzeige) return;
            Anzeige->AddPoints(1000);
            Anzeige->ShowWaveBanner();
        };
        Spermien->Links.HideParticles = [] {
            if (Bubbles) Bubbles->HideAll();
        };
    }
}
void TDDFullScreenForm1::AnzeigeFree() {
    Anzeige.reset();
}
void TDDFullScreenForm1::AnzeigeStep() {
    if (Anzeige) Anzeige->Animate();
}
void TDDFullScreenForm1::AnzeigeStartGame() {
    if (Anzeige) Anzeige->StartGame();
}
void TDDFullScreenForm1::AnzeigeHideHelp() {
    if (Anzeige) Anzeige->HideHelp();
}
// Subtracted from the score without redrawing it.
void TDDFullScreenForm1::AnzeigeLosePoints(int32_t points) {
    if (Anzeige) Anzeige->Scorepoints->Score -= points;
}
bool TDDFullScreenForm1::AnzeigeTakingName() const {
    return Anzeige && Anzeige->Editing();
}
void TDDFullScreenForm1::AnzeigeKeyPress(char key) {
    if (!Anzeige) return;
    // Enter saves the settings; a failing save has already ended the game and fails like a frame.
    try {
        Anzeige->KeyPress(key);
    } catch (const std::exception& e) {
        FrameFailed(std::string("Exception raised in KeyPress: ") + e.what());
    }
}

// The enemies: the level file is loaded afresh for every game.
void TDDFullScreenForm1::SpermienCreate() {
    Spermien = std::make_unique<TSpermien>();
    for (int32_t i = 0; i < EnemySlots; ++i)
        Spermien->AddSperm();
}
void TDDFullScreenForm1::SpermienFree() {
    Spermien.reset();
}
void TDDFullScreenForm1::SpermienMove() {
    if (Spermien) Spermien->Move();
}
void TDDFullScreenForm1::SpermienStart() {
    if (Spermien) Spermien->Start();
}

// The bag and the pointer: created hidden, shown when play starts, moved in glsBegin2 and glsLoop.
void TDDFullScreenForm1::PointersCreate() {
    Pointers = std::make_unique<TPointers>();
    TPointerLinks& links = Pointers->Links;
    links.KeyLeft = [this] { return KeyLeft; };
    links.KeyRight = [this] { return KeyRight; };
    links.ButtonHeld = [this] { return !ButtonReleased; };
    links.MouseX = [this] { return MouseX; };
    links.MouseY = [this] { return MouseY; };
    links.TakeShotRequests = [this] { return std::exchange(ShotRequests, 0); };
    links.LostState = [] { return Anzeige && Anzeige->LostState; };
    links.SetShakeAmount = [](int32_t amount) { ShakeAmount = amount; };
    links.RequestParticle = [](int32_t kind, float x, float y, float z, float vx) {
        if (Bubbles) Bubbles->Request(kind, x, y, z, vx);
    };
}
void TDDFullScreenForm1::PointersFree() {
    Pointers.reset();
}
void TDDFullScreenForm1::PointersMove() {
    if (Pointers) Pointers->Move();
}
void TDDFullScreenForm1::PointersShow() {
    if (Pointers) Pointers->Show();
}

// The falling pieces: 100 of them, moved in glsBegin2 and glsLoop.
void TDDFullScreenForm1::SchuesseCreate() {
    Schuesse = std::make_unique<TSchuesse>();
    Schuesse->Links.RequestParticle = [](int32_t kind, float x, float y, float z, float vx) {
        if (Bubbles) Bubbles->Request(kind, x, y, z, vx);
    };
    Schuesse->Links.RequestPopup = [](int32_t value, float x, float y, float z) {
        if (Bubblpoints)
            Bubblpoints->Request(value, x, y, z);
        else if (Anzeige)
            Anzeige->AddPoints(value);
    };
}
void TDDFullScreenForm1::SchuesseFree() {
    Schuesse.reset();
}
void TDDFullScreenForm1::SchuesseMove() {
    if (Schuesse) Schuesse->Move();
}

// The bubbles: 300 of them (none when Env.BubblesPercent is 0), moved in glsBegin and glsLoop;
// the enemies' HideParticles links to them. The pop-ups: 100, moved in glsLoop.
void TDDFullScreenForm1::BubblesCreate() {
    Bubbles = std::make_unique<TBubbles>();
}
void TDDFullScreenForm1::BubblesFree() {
    Bubbles.reset();
}
void TDDFullScreenForm1::BubblesMove() {
    if (Bubbles) Bubbles->MoveAll();
}
void TDDFullScreenForm1::BubblpointsCreate() {
    Bubblpoints = std::make_unique<TBubblpoints>();
}
void TDDFullScreenForm1::BubblpointsFree() {
    Bubblpoints.reset();
}
void TDDFullScreenForm1::BubblpointsMove() {
    if (Bubblpoints) Bubblpoints->MoveAll();
}
