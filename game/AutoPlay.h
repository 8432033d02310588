#pragma once
// A player that is not there: it looks at the running game and works the same input a person
// would, the cursor, the left button, the steering keys, Enter and typed characters. The
// crosshair goes for the nearest chip or pepper on the screen or a piece falling above the bag
// and shoots, the bag walks under the lowest falling piece, a highscore gets a name, and on the
// attract screen it waits a little and presses Enter. What it does depends only on what the
// game shows, so a seeded game plays the same every time. crumble-tool play --autoplay and
// crumble-rush --demo use it.
#include "platform/input.h"

#include <cstdint>
#include <string>

class TDDFullScreenForm1;

class TAutoPlay {
  public:
    // name: what it types into the highscore table (at most 10 characters are kept).
    explicit TAutoPlay(TInputState& input, std::string name = "AUTOPLAY");

    // Once per frame before the window reads its keys: sets the cursor, the button and the
    // keys of the input state and types into the window.
    void Step(TDDFullScreenForm1& form);

    // Updates spent on the attract screen (and the loader) before Enter is pressed.
    static constexpr int32_t AttractWait = 150;
    // Pixels the cursor moves at most per frame.
    static constexpr int32_t CursorStep = 60;
    // Frames between two typed characters.
    static constexpr int32_t TypingPause = 8;

  private:
    void Attract();
    void Play();
    void TypeName(TDDFullScreenForm1& form);
    bool AimAndFire();
    void Steer(float aimX);
    // Presses a polled key for one frame: down now, up in the next.
    void Pulse(int key);

    TInputState& FInput;
    std::string FName;
    int32_t FWaited = 0;
    int32_t FTypingCount = 0;
    size_t FTyped = 0;
    int32_t FErasures = 0;
    int FReleaseKey = 0;  // pressed in this frame, up in the next
    int FReleasedNow = 0; // came up in this frame
};
