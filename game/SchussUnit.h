#pragma once
// The falling pieces. A hit chip or pepper bursts into three pieces that jump a little and fall
// under gravity; a hit piece bursts into three smaller ones. A piece whose bottom edge enters
// the bag's opening is caught: it sinks into the bag between its back and front, the bag
// flashes and the player scores. TSchuss is one piece (the names speak of shots, but every
// object here is a piece); TSchuesse is the fixed pool of 100, made once per game.
//
// World coordinates as for every bob: pieces of the level fall at z = -FocalLength, where a
// world point (x, y) is the screen pixel (400 + x, 300 + y). Every duration counts updates of
// 20 ms.
#include "gamelib/BobhandlingUnit.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

constexpr int32_t MaxSchuesse = 100; // piece slots 1..100

// What the pieces ask of the units around them. Each may stay unset: then nothing happens
// (PlaySound then goes to the game window's sound engine, when there is one).
struct TSchussLinks {
    // Plays a sound by name at a stereo pan (-10000 .. 10000).
    std::function<void(const std::string& name, int32_t pan)> PlaySound;
    // One particle from the bubbles (kind 5 always), at that depth and horizontal velocity.
    std::function<void(int32_t kind, float x, float y, float z, float vx)> RequestParticle;
    // A point pop-up showing value at that place; the request adds the value to the display's
    // score and redraws it.
    std::function<void(int32_t value, float x, float y, float z)> RequestPopup;
};

// The points of a caught piece of that enemy kind: 100 a chip, 200 a pepper, 0 any other.
int32_t PiecePoints(int32_t kind);

class TSchuesse;

class TSchuss : public TRBob {
  public:
    // One hidden part "Chip1b" at z -FocalLength, of no kind; pulled home without smoothing.
    explicit TSchuss(TSchuesse& owner);

    // Starts the piece of enemy kind 1 (chip) or 3 (pepper) at size level 0 (from an enemy) or
    // above (from a piece): it jumps up by up to 10 units and falls towards y + 5000.
    void Start(int32_t kind, int32_t level, float x, float y, float z, float vx);
    // The per-update step after Move: animation, leaving the area, the catch, the sinking.
    // previousY is where the piece stood before the Move; the catch looks at the way between.
    void Step();
    void Step(float previousY);

    TBob& Part() const { return *Members[0].Bob; }
    // The part's size at natural scale.
    float Width() const { return Part().Width; }
    float Height() const { return Part().Height; }
    // Units per update.
    float VelocityX() const { return SmoothedStep[0]; }

    int32_t Kind = -1; // 1 chip, 3 pepper; -1 before its first start
    int32_t Level = 0; // 0 from an enemy, one more for each split
    bool Caught = false;

  private:
    void Sink();
    TSchuesse& FOwner;
};

class TSchuesse {
  public:
    // The 100 pieces, hidden. The sprite script must be loaded.
    TSchuesse();
    TSchuesse(const TSchuesse&) = delete;
    TSchuesse& operator=(const TSchuesse&) = delete;

    int32_t Count() const { return MaxSchuesse; }
    // Slot 1..100.
    TSchuss& Schuss(int32_t slot) const { return *FSchuesse[size_t(slot)]; }

    // Starts a piece in the first hidden slot with 20 particles around it and returns the slot;
    // with all 100 busy nothing happens and -1 is returned.
    int32_t Spawn(int32_t kind, int32_t level, float x, float y, float z, float vx);
    // The slot of the visible piece under the point (x, y) of the plane z = -FocalLength, or -1;
    // among overlapping pieces the highest slot wins.
    int32_t HitTest(float x, float y) const;
    // One update: Home (visible pieces), Move and Step for slots 1..100.
    void Move();
    // The end of a game.
    void HideAll();

    // The sprite object of a piece of that kind and level: "chip1b", "chip1c", "pepper1b",
    // "pepper1c".
    int32_t PieceObject(int32_t kind, int32_t level) const;

    // Sounds go through Links.PlaySound, else through the game window's engine.
    void PlaySound(const std::string& name, int32_t pan) const;

    TSchussLinks Links;

  private:
    std::array<std::unique_ptr<TSchuss>, MaxSchuesse + 1> FSchuesse; // slot 0 unused
    // [chip 0 / pepper 1][level 0 "b" / higher "c"]
    std::array<std::array<int32_t, 2>, 2> FObjects{};
};

// The pieces of the running game; created by InitLevel, freed by CloseLevel.
extern std::unique_ptr<TSchuesse> Schuesse;
