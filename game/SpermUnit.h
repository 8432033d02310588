#pragma once
// The enemies. A TSperm is one enemy: a body with one part that flies at a constant speed,
// turning along a curve. TSpermien is the fixed pool of 50 that plays the level file: a
// scrambled script of settings, formation calls and wave brackets, one statement per update,
// whose formations release their rows one after another. It keeps the wave bookkeeping behind
// the whole-wave bonus, the statistics of the game record, decorates the attract screen, and
// tells the pointer which enemy lies under the crosshair.
//
// World coordinates as for every bob: enemies of the level fly at z = -FocalLength, where a
// world point (x, y) is the screen pixel (400 + x, 300 + y). Every duration counts updates of
// 20 ms.
#include "gamelib/BobhandlingUnit.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

constexpr int32_t MaxSperms = 50;     // enemy slots 1..50
constexpr int32_t SpermKindCount = 6; // kinds 1..6; 0 is an enemy of no kind
constexpr int32_t MaxWaves = 301;     // waves 0..300
constexpr int32_t MaxRowCells = 100;
constexpr int32_t MaxStatementValue = 200; // characters of a statement's value

enum TSpermKindNumber : int32_t {
    skNone = 0,
    skChip = 1,
    skUmdreh = 2,
    skPepper = 3,
    skDauerfeuer = 4,
    skDoppelbreit = 5,
    skExplode = 6,
};

struct TSpermKind {
    const char* Name;       // as level files name it ("bob" statements)
    const char* ObjectName; // its sprite object
    bool EscapeLoses;       // an escape of this kind loses the game
    int32_t Code;           // the points of a caught piece derive from it
};
// Entries 1..6; entry 0 stands for "no kind".
extern const std::array<TSpermKind, SpermKindCount + 1> SpermKinds;

// A level file that cannot be played. Errors met while carrying out a statement or a row carry
// the script position after the message.
class ELevelError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What the enemies ask of the units around them. Each may stay unset: then nothing happens
// (PlaySound then goes to the game window's sound engine, when there is one).
struct TSpermLinks {
    // Plays a sound by name at a stereo pan (-10000 .. 10000).
    std::function<void(const std::string& name, int32_t pan)> PlaySound;
    // The display's LostState.
    std::function<bool()> LostState;
    // An enemy that must not escape has escaped: the display sets LostState, clears TimeUp and
    // restarts its game-over count. Called only while LostState() is false.
    std::function<void()> LoseByEscape;
    // A closed wave has been killed whole: the display restarts its "1000 EXTRAPUNKTE!" banner,
    // adds 1000 to the score and redraws it.
    std::function<void()> WaveBonus;
    // The bubbles hide every particle (the start of a game).
    std::function<void()> HideParticles;
};

// Counters of one game, read by the game record. Index 1..6 is the kind; pieces are split
// into [chip 0 / pepper 1][level 0 / higher 1].
struct TSpermStatistics {
    std::array<int32_t, SpermKindCount + 1> Started{};
    std::array<int32_t, SpermKindCount + 1> Hits{};        // counted by the pointer
    int32_t ShotsFired = 0;                                // counted by the pointer
    std::array<std::array<int32_t, 2>, 2> PiecesSpawned{}; // counted by the pieces
    std::array<std::array<int32_t, 2>, 2> PiecesCaught{};  // counted by the pieces
    int32_t WavesCompleted = 0;
};

class TSpermien;

class TSperm : public TRBob {
  public:
    // One hidden part "chip1a", flying at the speed of its smoothed steps (no smoothing, no
    // homing).
    explicit TSperm(TSpermien& owner);

    // Starts the enemy at row position p from the side named by origin ("l", "r", "o", "u",
    // "x"); wave -1 is outside every wave.
    void Start(int32_t object, double speed, double p, char origin, double curveTime,
               double curveRate, int32_t visibleTime, int32_t wave);
    // The per-update step after Move: animation, delay, attract appearances, turning, leaving
    // the screen, the visible time.
    void Step();
    // Free for a new enemy: hidden and not waiting to show.
    bool Free() const { return !Visible && DelayCounter == 0; }

    TBob& Part() const { return *Members[0].Bob; }
    // The part's size at natural scale.
    float Width() const { return Part().Width; }
    float Height() const { return Part().Height; }
    // Units per update.
    float VelocityX() const { return SmoothedStep[0]; }
    float VelocityY() const { return SmoothedStep[1]; }

    int32_t Kind = skNone;
    bool EscapeLoses = false;
    int32_t Wave = -1;
    int32_t DelayCounter = 0;   // updates until a delayed enemy shows; 0 = not delayed
    int32_t VisibleCounter = 0; // updates until it vanishes by itself; 0 = never
    int32_t CurveTime = 0;
    double CurveRate = 0; // radians per update; positive turns clockwise on the screen
    int32_t CurveStep = 0;
    bool Gone = false; // it has left the screen

  private:
    void Turn();
    void StepHidden();
    TSpermien& FOwner;
};

class TSpermien {
  public:
    // Builds the kind table from the loaded sprite script, sets the level settings to their
    // start values and loads the level file (scrambled lines). Throws EInOutError when the file
    // cannot be read, and "Animation not found: " + NAME for a kind the script lacks.
    explicit TSpermien(const std::string& levelFile = LevelFileName());
    TSpermien(const TSpermien&) = delete;
    TSpermien& operator=(const TSpermien&) = delete;

    // "SPS\Level" + GameData.Level + ".txt".
    static std::string LevelFileName();

    // Appends one enemy; InitLevel calls it 50 times. Throws beyond 50.
    void AddSperm();
    int32_t Count() const { return FCount; }
    // Slot 1..Count.
    TSperm& Sperm(int32_t slot) const { return *FSperms[size_t(slot)]; }

    // The player starts a game: stop, hide the particles, leave attract mode, script from line 0.
    void Start();
    // The end of a game: no script, no formation, every enemy hidden and none waiting to show.
    void Stop();
    // One update: one script step, then Move (visible enemies) and Step for slots 1..50.
    void Move();

    // The slot of the visible enemy under the point (x, y) of the plane z = -FocalLength,
    // or -1; among overlapping enemies the highest slot wins.
    int32_t HitTest(float x, float y) const;
    // Hides the enemy; the last kill of a closed wave earns the whole-wave bonus.
    void Kill(int32_t slot);

    // Sounds go through Links.PlaySound, else through the game window's engine.
    void PlaySound(const std::string& name, int32_t pan) const;

    TSpermLinks Links;
    TSpermStatistics Statistics;

    // The level's lines, decoded.
    std::vector<std::string> Lines;
    int32_t ScriptLine = -1;    // the next script line; -1: stopped
    int32_t FormationLine = -1; // the next row of the running formation; -1: none
    int32_t RowCountdown = 0;

    // The level settings, each in force until set again.
    int32_t RowInterval = 50;
    std::array<int32_t, 26> LetterTable{}; // sprite object per letter; -1: no kind
    char Origin = 'l';
    double MiddlePosition = 0;
    double CurveTimeSetting = 0;
    double CurveRateSetting = 0; // thousandths of a radian per update
    double Gap = 60;
    double BaseSpeed = 0.3;
    double SpeedStep = 0.1;
    double Probability = 1.0;
    int32_t FuzzyTime = 0;
    int32_t DelayTime = 0;
    int32_t VisibleTime = 0;
    bool FreePosition = false;

    // Waves: the next wave number, the open wave (-1: none) and the enemies of each wave that
    // have started and not been killed.
    int32_t WaveCounter = 0;
    int32_t CurrentWave = -1;
    std::array<int32_t, MaxWaves> AliveCount{};

    bool AttractMode = true;

    // Sprite object of each kind, 1..6.
    std::array<int32_t, SpermKindCount + 1> KindObjects{};
    // The kind whose sprite object it is, 0 if none.
    int32_t KindOfObject(int32_t object) const;

  private:
    void ScriptStep();
    void Statement();
    void ReleaseRow();
    void PlaceSperm(char letter, int32_t number, int32_t cell, int32_t cells);
    [[noreturn]] void RaiseWithPosition(const std::string& message) const;

    std::array<std::unique_ptr<TSperm>, MaxSperms + 1> FSperms; // slot 0 unused
    int32_t FCount = 0;
    // The statement being carried out, for error messages.
    std::string FOrder, FValue, FSuffix;
};

// The enemy list of the running game; created by InitLevel, freed by CloseLevel.
extern std::unique_ptr<TSpermien> Spermien;
