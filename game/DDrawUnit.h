#pragma once
// The game window. It adds the game's set-up to the drawing window (sprite script, sounds,
// volumes), reads the keyboard and the mouse once per frame, and runs the game as a state
// machine: StateProc is called once per 20 ms update from ThreadNotify and leads from the loader
// picture through the attract screen, the start of play and the play itself to the end of a
// game, which starts the next one or, after Escape, shows the information picture and closes.
//
// Without a screen: the same window runs headless. With a headless display as the default
// display (platform/ddraw), the input override (platform/input), an injected clock
// (platform/clock) and a seeded generator (RandSeed), set ManualLoop before showing it under
// the offscreen platform; then each step of the caller advances the clock and calls PollLoop,
// which runs the frame exactly as the loop thread would. Keys that the window gets as events
// (Escape, P, characters) go to FormKeyDown and FormKeyPress; held keys and the mouse are
// polled from the input state. crumble-tool play and the tests drive whole games this way.
//
// The level objects live from InitLevel to CloseLevel. Each is reached through the small
// methods of its own block below (create, free, step and what the states ask of it), so the
// states name every step in its order whether or not the object's unit is part of the program.
#include "gamelib/frmDDFullScreen.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

// Program-wide game flags.
extern bool GameRunning; // a game is in play
extern bool GameLost;    // the game has ended (both set by the display)
extern bool GameWon;
extern int32_t ShakeAmount; // screen shake; an explosion sets 50

// The graphics sets, indexed by Env.GfxSet.
extern const std::array<const char*, 2> GfxSetNames;

// Writes the system information into the log when a game is set up; the menu window sets it
// (its LogSystemInfo). Unset: nothing is written.
extern std::function<void()> SystemInfoLogger;

class TDDFullScreenForm1 : public TDDFullScreenForm {
  public:
    using TStateProc = void (TDDFullScreenForm1::*)();

    explicit TDDFullScreenForm1(QWidget* owner = nullptr);
    ~TDDFullScreenForm1() override;

    void InitDDraw() override;
    void FreeDDraw() override;
    void ThreadNotify(int32_t frames) override;

    // OnKeyDown with a virtual key (VK_ESCAPE, 'P', ...) and whether Ctrl is held; OnKeyPress
    // with a character (Windows-1252).
    void FormKeyDown(int key, bool ctrl);
    void FormKeyPress(char key);

    // Once per frame: Enter and the left button (each press once), the steering keys.
    void Keycheck();
    // A press: a shot request while a game runs, otherwise Continue.
    void Fire();
    // The P key: pauses, or ends a pause begun more than 200 ms ago.
    void TogglePause();

    void InitLevel();
    void CloseLevel();

    // The states.
    void glsInit();
    void glsBegin();
    void glsBegin2();
    void glsLoop();
    void glsExit();
    void glsInfo();
    void glsEnd();
    void glsIdle();

    // "GFX\" + the graphics set's name + "\" + picture; an unknown set draws from "sb".
    static std::string GfxPath(const std::string& picture);

    // Called at the start of every frame, before the keys are read: a stand-in player (the
    // demo, crumble-tool play --autoplay) works the input there as a person would.
    std::function<void()> InputDriver;

    TStateProc StateProc = nullptr;
    int32_t Countdown = 0;
    bool FirstShotPending = false;
    uint32_t PauseStart = 0;
    float SwayOffset = 0;
    float SwayPhase = 0;
    bool EnterReleased = false;
    bool ButtonReleased = false;
    bool KeyRight = false;
    bool KeyLeft = false;
    uint32_t StartTick = 0;
    uint32_t PausedTime = 0;
    int32_t PauseCount = 0;

  protected:
    void keyPressEvent(QKeyEvent* e) override;

  private:
    // The frame's steps; FStage names the one running for the error message.
    void Frame(int32_t frames);
    // A failed frame: logged, the window heads for the exit. A failure while it is already
    // closing ends the loop at once, so a lasting fault cannot hold the window open.
    void FrameFailed(const std::string& line);
    // One update of play: the objects in their order, then the background's sway and shake.
    void PlayStep();
    void Sway();
    // Frees whatever level objects exist, without the log lines of CloseLevel.
    void FreeLevelObjects();
    void PlayMusic(const std::string& name);

    // The display (TAnzeige, scoreunit).
    void AnzeigeCreate();
    void AnzeigeFree();
    void AnzeigeStep();
    void AnzeigeStartGame();
    void AnzeigeHideHelp();
    void AnzeigeLosePoints(int32_t points);
    bool AnzeigeTakingName() const;
    void AnzeigeKeyPress(char key);
    // The enemies (TSpermien, SpermUnit).
    void SpermienCreate();
    void SpermienFree();
    void SpermienMove();
    void SpermienStart();
    // The bag and the pointer (TPointers, RohrUnit).
    void PointersCreate();
    void PointersFree();
    void PointersMove();
    void PointersShow();
    // The falling pieces (TSchuesse, SchussUnit).
    void SchuesseCreate();
    void SchuesseFree();
    void SchuesseMove();
    // The bubbles (TBubbles, BubbleUnit) and the point pop-ups (TBubblpoints, BubblepointUnit).
    void BubblesCreate();
    void BubblesFree();
    void BubblesMove();
    void BubblpointsCreate();
    void BubblpointsFree();
    void BubblpointsMove();

    std::string FStage;
};

// The game window that exists, set by its creation and cleared by its destruction.
extern TDDFullScreenForm1* DDFullScreenForm1;
