#pragma once
// The player's bag and pointer. TTuete is the bag at the bottom of the screen, pushed left and
// right by two mascots under keyboard control; it catches the falling pieces. TCross is the
// crosshair that follows the mouse and shoots at the spot under it at once: a hit chip or pepper
// bursts into pieces, the extras turn the bag (mirrored steering), give rapid fire, widen the
// bag or blow up everything on the screen. TPointers holds both for one game.
//
// World coordinates as for every bob: the bag and the pointer sit at z = -FocalLength, where a
// world point (x, y) is the screen pixel (400 + x, 300 + y). Every duration counts updates of
// 20 ms.
#include "gamelib/BobhandlingUnit.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Updates an extra lasts; further hits of the same extra add as much again.
constexpr int32_t ExtraDuration = 500;

// What is left of each extra, in updates; 0 = off. Set to 0 whenever a TCross is made, that is
// at the start of every game.
extern int32_t TurnCounter; // the bag is turned: steering is mirrored
extern int32_t GunCounter;  // rapid fire while the button is held
extern int32_t WideCounter; // the bag is wide

// What the bag and the pointer ask of the game window and of the units around them. The input
// hooks left unset read as "nothing pressed"; the others then do nothing (PlaySound then goes to
// the game window's sound engine, when there is one).
struct TPointerLinks {
    // The game window's input: the steering keys (cursor or Y / X) as the last key check saw
    // them, the left mouse button held (ButtonReleased false), the cursor in screen pixels as
    // UpdateMouse sampled it.
    std::function<bool()> KeyLeft;
    std::function<bool()> KeyRight;
    std::function<bool()> ButtonHeld;
    std::function<int32_t()> MouseX;
    std::function<int32_t()> MouseY;
    // Returns the window's ShotRequests and sets it to 0.
    std::function<int32_t()> TakeShotRequests;
    // Plays a sound by name at a stereo pan (-10000 .. 10000) and, unless frequency is 0, at
    // that playback frequency in Hz.
    std::function<void(const std::string& name, int32_t pan, uint32_t frequency)> PlaySound;
    // The display's LostState: shots then only click.
    std::function<bool()> LostState;
    // The game window's ShakeAmount := amount (the explosion).
    std::function<void(int32_t amount)> SetShakeAmount;
    // One particle from the bubbles (kind 5 always), at that depth and horizontal velocity.
    std::function<void(int32_t kind, float x, float y, float z, float vx)> RequestParticle;
};

class TPointers;

class TTuete : public TRBob {
  public:
    // Parts in this order: bag back ("Gametuete" "hinten", layer 1), bag front ("vorne",
    // layer 3), left and right mascot (waiting); at (0, 250, -FocalLength), hidden.
    explicit TTuete(TPointers& owner);

    // One update: animation, the turned bag's count, steering, the clamp.
    void Step();
    // Puts the mascots beside the bag of the current width.
    void PlaceMascots();
    // A piece of that centre and size is caught when its bottom edge (less 10) lies in the
    // opening band, top .. top + 20, or crossed it falling since the piece stood at previousY,
    // and its centre lies strictly between the bag's side edges.
    bool CatchTest(float x, float y, float width, float height) const;
    bool CatchTest(float x, float y, float width, float height, float previousY) const;

    TBob& Back() const { return *Members[0].Bob; }
    TBob& Front() const { return *Members[1].Bob; }
    TBob& LeftMascot() const { return *Members[2].Bob; }
    TBob& RightMascot() const { return *Members[3].Bob; }
    // W, the bag back's width: 116 normal, 232 wide.
    float BagWidth() const { return Back().Width; }

    // 0 standing, 1 walking left, 2 walking right.
    int32_t WalkState = 0;

  private:
    void Walk(int32_t state, int32_t leftObject, int32_t rightObject);
    TPointers& FOwner;
    int32_t FWaitLR, FWaitRL, FWalkLR, FWalkRL, FPushLR, FPushRL;
};

class TCross : public TRBob {
  public:
    // One part "Mauszeiger" in layer 4 at z -FocalLength, hidden; all extras off.
    explicit TCross(TPointers& owner);

    // One update: follow the mouse, count the extras down, and fire one shot when a press is
    // waiting or, with rapid fire and the button held, on every fifth update.
    void Step();
    // A chip or pepper enemy bursts into three pieces; other kinds are left alone.
    void HitEnemy(int32_t slot);
    // A piece bursts into three of the next size level.
    void HitPiece(int32_t slot);

    TBob& Part() const { return *Members[0].Bob; }

  private:
    void Shoot();
    void Particles();
    void SetBagLook(int32_t object);
    TPointers& FOwner;
};

class TPointers {
  public:
    // The bag, then the pointer, both hidden.
    TPointers();
    TPointers(const TPointers&) = delete;
    TPointers& operator=(const TPointers&) = delete;

    // One update: the bag, then the pointer.
    void Move();
    // Both visible (the start of a game) or hidden (its end).
    void Show();
    void Hide();

    // Sounds go through Links.PlaySound, else through the game window's engine.
    void PlaySound(const std::string& name, int32_t pan = 0, uint32_t frequency = 0) const;

    TPointerLinks Links;
    std::unique_ptr<TTuete> Tuete;
    std::unique_ptr<TCross> Cross;
};

// The bag and pointer of the running game; created by InitLevel, freed by CloseLevel.
extern std::unique_ptr<TPointers> Pointers;
