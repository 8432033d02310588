#pragma once
// The owner of the engine's program-wide state: the device, the display and background
// surfaces, the screen size with its clip edges, view offsets and projection, the status line
// height, the alpha switches, the lost-surface flag and key colour, the sheet, sprite and object
// tables and the bob list. It sets all of them when it starts and puts back what it found when
// it ends, so the game window, the tool, the benchmarks and each test get the engine they ask
// for and leave nothing behind, however they end. The tables are emptied at both ends rather
// than kept: their entries belong to the device they were loaded for.
#include "gamelib/DDUtil.h"

#include <cstdint>
#include <memory>
#include <vector>

class TBobs;

class TEngineState {
  public:
    // The engine of a screen of width x height without a device: no surfaces, empty tables, no
    // bobs, view offsets 0, clip edges, focal length and centre from the size, alpha blending on,
    // alpha maps off, no status line, nothing lost, key colour 0.
    explicit TEngineState(int32_t width = 800, int32_t height = 600);
    // Releases what was made for the device (as Release) and restores every value it found.
    ~TEngineState();
    TEngineState(const TEngineState&) = delete;
    TEngineState& operator=(const TEngineState&) = delete;

    // A new screen size: the clip edges, the focal length and the centre follow it, the view
    // offsets go back to 0.
    void SetScreenSize(int32_t width, int32_t height);
    // Added to every rectangle drawn onto a display surface (the desktop mode's centring).
    void SetViewOffsets(int32_t x, int32_t y);
    // Rows at the bottom of the screen kept for the status line; 0 shows none.
    void SetBottomMargin(int32_t rows);
    void SetAlphaBlend(bool on);
    void SetAlphaMaps(bool on);

    // The device all surfaces are made from.
    void SetDevice(const PDirectDraw& device);
    // Display surfaces in order: the front first, then the back.
    void AddDisplaySurface(const PDirectDrawSurface& surface);
    void SetBackgroundSurface(const PDirectDrawSurface& surface);
    // A new, empty bob list for the sprites shown on the screen.
    void CreateBobs();

    // The game's set-up without a window: a device of its own on a headless display of the
    // screen's size and that depth (16, 24 or 32), in exclusive mode with a front and a back
    // surface, a black background surface of the screen's size, alpha maps on and an empty bob
    // list. Returns the display, where the frames shown can be read.
    std::shared_ptr<THeadlessDisplay> OpenHeadless(int32_t bits);

    // Every surface of the device reports lost and the flag is raised, as after a switch away
    // from the fullscreen window that a frame then noticed.
    void LoseSurfaces();

    // Lets go of what was made for the device: the bobs, the tables with their sheets, the
    // background and display surfaces, the device itself. The screen values stay.
    void Release();

  private:
    // The values found at the start.
    PDirectDraw FDevice;
    std::vector<PDirectDrawSurface> FDisplaySurfaces;
    PDirectDrawSurface FBackgroundSurface;
    std::unique_ptr<TBobs> FBobs;
    int32_t FScreenWidth, FScreenHeight;
    uint16_t FClipRight, FClipBottom;
    int32_t FBottomMargin;
    int32_t FViewOffsetX, FViewOffsetY;
    double FFocalLength;
    int32_t FCenterX, FCenterY;
    bool FAlphaBlendEnabled, FAlphaMapEnabled, FSurfaceLost;
    uint32_t FColorKeyValue;
};
