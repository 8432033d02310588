#pragma once
// Bubbles: small particles that spray from hits and new pieces and drift down while their
// animation runs out. A fixed pool, created once; a request takes the lowest free slot.
#include "gamelib/BobhandlingUnit.h"

#include <array>
#include <cstdint>
#include <memory>

inline constexpr int32_t BubbleCount = 300;

class TBubble : public TRBob {
  public:
    TBubble();
    void Start(float x, float y, float z, float vx);
    void Step();
    TBob* Part() const { return Members[0].Bob; }
};

class TBubbles {
  public:
    // The 300 bubbles, hidden; none at all when Env.BubblesPercent is 0.
    TBubbles();
    TBubbles(const TBubbles&) = delete;
    TBubbles& operator=(const TBubbles&) = delete;

    // One bubble at (x, y, z) drifting with vx, with a chance of Env.BubblesPercent in 100;
    // dropped when every bubble is busy. The kind is carried but changes nothing.
    void Request(int32_t kind, float x, float y, float z, float vx);
    // Each update in glsBegin and glsLoop.
    void MoveAll();
    void HideAll();

    int32_t Count = 0; // bubbles created: 300, or 0
    // Slots 1 .. Count are Items[0 .. Count - 1].
    std::array<std::unique_ptr<TBubble>, BubbleCount> Items;
};

// The bubbles of the running game: created by InitLevel, freed by CloseLevel.
extern std::unique_ptr<TBubbles> Bubbles;
