#pragma once
// The display: everything on the game screen that is not a game object. The title screen with
// its start banner and highscore table, the dancing mascots, the playing-time clock with its big
// countdown, the score, the help lines, the whole-wave banner, the game-over picture and, at the
// end of a game, the highscore table with the name entry. It keeps the game clock and decides
// when and how a game ends.
#include "gamelib/BobhandlingUnit.h"
#include "online/GameRecord.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TAnzeige;

// How the display asks for a sound by name.
enum class TSoundCue {
    Play, // once from where it stands
    Stop,
    Loop, // looping from its beginning
};

// What the display reads from and does to the game window and the other level objects. The
// game window fills it right after creating the display; a pointer left null reads as false or
// 0 and is not written, a function left empty does nothing (and gives no statistics).
struct TAnzeigeHost {
    // The game form's flags; the end of a game clears GameRunning and sets GameWon or GameLost
    // together with Continue.
    bool* GameRunning = nullptr;
    bool* GameWon = nullptr;
    bool* GameLost = nullptr;
    bool* Continue = nullptr;
    // The game form's pause book-keeping, for the game record.
    const uint32_t* StartTick = nullptr;  // tick count when play started
    const uint32_t* PausedTime = nullptr; // milliseconds spent paused
    const int32_t* PauseCount = nullptr;
    // TSpermien: stop and switch to attract mode.
    std::function<void()> StopEnemies;
    // TPointers hide; TSchuesse hide all.
    std::function<void()> HidePointers;
    std::function<void()> HidePieces;
    // The statistics of TSpermien: shots fired, waves completed, enemies started and hits per
    // kind, pieces spawned and caught. The display adds the seconds played and the pauses.
    std::function<TGameStatistics()> Statistics;
    // Sounds; empty: the window's sound engine.
    std::function<void(const std::string& name, TSoundCue cue)> Sound;
};

// The 62 characters of the sprite font "Korvald_font", frame n showing character n.
inline constexpr const char* KorvaldCharset =
    " ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-*/=!,.@#$%^&:\"[]_();<>?";

inline constexpr int32_t PlayingTime = 90;      // seconds
inline constexpr int32_t UpdatesPerSecond = 50; // updates of 20 ms
inline constexpr int32_t HelpLineRoom = 20;
inline constexpr int32_t DancerCount = 7;
inline constexpr int32_t HSEntryCount = 10;

// The playing-time clock: the label "time" with the seconds in "LeerZeit", and from 10 seconds
// on the big digits in "bigtimefeld" at the screen centre.
class TScoretime : public TRBob {
  public:
    TScoretime();
    void Redraw();
    TBob* Label() const { return Members[0].Bob; }
    TBob* Field() const { return Members[1].Bob; }
    TBob* BigField() const { return Members[2].Bob; }
    int32_t TimeLeft = PlayingTime;
};

class TScorepoints : public TRBob {
  public:
    TScorepoints();
    void Redraw();
    int32_t Score = 0;
};

// Flies from the viewer into the screen when the game is lost.
class TScoreGameover : public TRBob {
  public:
    TScoreGameover();
    void Step(TAnzeige& anzeige);
    int32_t Count = 0;
};

// The help lines of every game, shown one after the other from the start of play.
inline constexpr std::array<const char*, 2> HelpLines = {
    "Mit der linken Maustaste wird geschossen", "Pfeiltasten oder x/y bewegen die Chipstüte"};

// A queue of help lines, each faded in, held and faded out, then the next.
class Thelpfeld : public TRBob {
  public:
    Thelpfeld();
    void Step();
    void Queue(const std::string& line);
    void ShowLine(const std::string& line);
    void Hide();
    TBob* Part() const { return Members[0].Bob; }
    int32_t Delay = 0;
    int32_t Count = 0;
    std::array<std::string, HelpLineRoom> Lines;
    int32_t LineCount = 0;

  private:
    // The line on the field's image, in place of what it showed.
    void DrawLine(const std::string& line);
};

class Tpressbutton : public TRBob {
  public:
    Tpressbutton();
};

// "1000 EXTRAPUNKTE!" gliding through the screen.
class Tganzewelle : public TRBob {
  public:
    Tganzewelle();
    void Step();
    void Restart();
    int32_t State = 0;
    int32_t Timer = 0;
};

// The title parts and the cycle of the start banner and the highscore table.
class Ttitle : public TRBob {
  public:
    Ttitle();
    void Step(TAnzeige& anzeige);
    TBob* Playandwin() const { return Members[0].Bob; }
    TBob* TitlePart() const { return Members[1].Bob; }
    TBob* Intro() const { return Members[2].Bob; }
    TBob* Logo() const { return Members[3].Bob; }
    int32_t State = 0;
    int32_t Timer = 0;
};

class Tdancer : public TRBob {
  public:
    explicit Tdancer(int32_t number); // 1 .. 7
};

// One line of the highscore table, place 1 .. 10; also the name entry.
class THSEntry : public TRBob {
  public:
    explicit THSEntry(int32_t place);
    void Redraw();
    void Blink();
    int32_t Place;
    bool Editing = false;
    int32_t Cursor = 1; // 1-based position in the name
    int32_t BlinkCount = 0;
};

class TAnzeige {
  public:
    // Creates the display objects in their order: title, start banner, wave banner, help field,
    // clock, score, game-over picture, dancers, highscore lines.
    TAnzeige();
    TAnzeige(const TAnzeige&) = delete;
    TAnzeige& operator=(const TAnzeige&) = delete;

    // One update (glsBegin, glsBegin2, glsLoop). An error is logged as
    // "anzeige.animate: step(n) ;" and passed on.
    void Animate();
    // The player has started the game (glsBegin).
    void StartGame();
    // A highscore line takes a name.
    bool Editing() const;
    // A character typed while Editing: Backspace (8), Enter (13) or Escape (27) or one character
    // of the name (Windows-1252). Enter and Escape end the game and save Env; a failing save
    // reaches the caller after the game has been ended.
    void KeyPress(char key);
    // The first click of a game ends the help lines.
    void HideHelp();
    // Points of a caught piece or a whole wave: added and shown.
    void AddPoints(int32_t points);
    // The whole-wave banner flies through again.
    void ShowWaveBanner();
    // An enemy that must not escape has escaped: the game is lost (after its game-over count).
    void SetLost();

    TAnzeigeHost Host;
    bool TimeUp = false;
    bool LostState = false;
    int32_t TickCount = 0; // updates of the current second
    int32_t Rank = 0;      // the place of this game's score, 0 = none
    int32_t EndCount = 0;  // updates since the end began

    std::unique_ptr<Ttitle> Title;
    std::unique_ptr<Tpressbutton> Pressbutton;
    std::unique_ptr<Tganzewelle> Ganzewelle;
    std::unique_ptr<Thelpfeld> Helpfeld;
    std::unique_ptr<TScoretime> Scoretime;
    std::unique_ptr<TScorepoints> Scorepoints;
    std::unique_ptr<TScoreGameover> Gameover;
    std::array<std::unique_ptr<Tdancer>, DancerCount> Dancers;
    std::array<std::unique_ptr<THSEntry>, HSEntryCount> HSEntries; // places 1 .. 10

    void PlaySound(const std::string& name, TSoundCue cue = TSoundCue::Play);
    void SetFlag(bool* flag, bool value);
    // The disguised record of the game that is ending.
    std::string DisguisedGameRecord();

  private:
    void ClockStep();
    void EndStep();
    THSEntry* EditedLine() const;
};

// The display of the running game: created by InitLevel, freed by CloseLevel.
extern std::unique_ptr<TAnzeige> Anzeige;
