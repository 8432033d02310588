#pragma once
// Point pop-ups: the points a caught piece has earned, floating up and to the right while they
// fade. Asking for one is also how the points reach the score. A fixed pool, created once; a
// request takes the lowest free slot.
#include "gamelib/BobhandlingUnit.h"

#include <array>
#include <cstdint>
#include <memory>

inline constexpr int32_t BubblepointCount = 100;

// The picture of a value in the "points" object: -250 .. -10 and +10 .. +250 in steps of 10,
// then +500; any other value shows +10.
int32_t PointsFrame(int32_t value);

class TBubblepoint : public TRBob {
  public:
    TBubblepoint();
    void Start(int32_t value, float x, float y, float z);
    void Step();
    TBob* Part() const { return Members[0].Bob; }
    int32_t Life = 0; // updates left
};

class TBubblpoints {
  public:
    // The 100 pop-ups, hidden.
    TBubblpoints();
    TBubblpoints(const TBubblpoints&) = delete;
    TBubblpoints& operator=(const TBubblpoints&) = delete;

    // Adds the value to the display's score and shows it; with every pop-up busy only the score
    // changes.
    void Request(int32_t value, float x, float y, float z);
    // Each update in glsLoop.
    void MoveAll();

    std::array<std::unique_ptr<TBubblepoint>, BubblepointCount> Items; // slots 1 .. 100
};

// The pop-ups of the running game: created by InitLevel, freed by CloseLevel.
extern std::unique_ptr<TBubblpoints> Bubblpoints;
