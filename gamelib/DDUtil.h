#pragma once
// The pixel layer under the sprite engine: the engine's graphics state, surface creation,
// result checks, colour fills, clipped copies and loading pictures into surfaces.
#include "platform/ddraw.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Engine state, set up by the fullscreen window before anything is drawn.
extern PDirectDraw DirectDrawObject;
extern std::vector<PDirectDrawSurface> DisplaySurfaces; // 0 the front, 1 the back surface
extern PDirectDrawSurface BackgroundSurface;
extern PDirectDrawSurface ScratchSurface;
extern int32_t ScreenWidth, ScreenHeight;
extern uint16_t ClipRight, ClipBottom; // last visible column and row
extern int32_t BottomMargin;           // height of the status line strip
extern int32_t ViewOffsetX, ViewOffsetY;
extern double FocalLength;
extern int32_t CenterX, CenterY;
extern bool AlphaBlendEnabled;
extern bool AlphaMapEnabled;
extern bool SurfaceLost;
extern uint32_t ColorKeyValue;

// A device call failed; the message names the result.
class EDirectXError : public std::runtime_error {
  public:
    EDirectXError(const std::string& message, HRESULT code)
        : std::runtime_error(message), Code(code) {}
    HRESULT Code;
};

// The surface memory went away; the window restores the surfaces before the next frame.
class EDirectXSurfaceLostError : public EDirectXError {
  public:
    EDirectXSurfaceLostError() : EDirectXError("Surface Lost", DDERR_SURFACELOST) {}
};

// The device's text for a result ("Unrecognized Error" for codes it never returned).
std::string DDErrorString(HRESULT code);
// DD_OK passes; a lost surface sets SurfaceLost and throws EDirectXSurfaceLostError; any other
// result throws EDirectXError.
void DXCheck(HRESULT code);
void DXCheckSurface(HRESULT code);

// An off-screen plain surface of the display's format; caps are added to DDSCAPS_OFFSCREENPLAIN.
// Whatever surface held before is released first.
void CreateSurface(const PDirectDraw& directDraw, int32_t width, int32_t height,
                   PDirectDrawSurface& surface, uint32_t caps);
// The same from DirectDrawObject, in system memory or where the device likes.
PDirectDrawSurface CreateSurface(int32_t width, int32_t height, bool systemMemory);

PDirectDrawSurface GetPrimarySurface();
PDirectDrawSurface GetBackSurface();
// True for the display surfaces behind the front (entries 1 and later of DisplaySurfaces).
bool IsDisplaySurface(const PDirectDrawSurface& surface);

// 0xRRGGBB in the surface's pixel format.
uint32_t ColorToPixel(const PDirectDrawSurface& surface, uint32_t color);

// A blit without source; on a display surface the view offsets apply and no rectangle means
// the screen, elsewhere no rectangle means the whole surface.
void BltToSurface(const PDirectDrawSurface& surface, const TRect* rect, uint32_t flags,
                  const TDDBltFx& fx);
// Fills (left, top, width, height) with 0xRRGGBB.
void Colorfill(const PDirectDrawSurface& surface, int32_t left, int32_t top, int32_t width,
               int32_t height, uint32_t color);
// Fills the whole surface (the screen area of a display surface).
void Colorfill(const PDirectDrawSurface& surface, uint32_t color);

// Unscaled copy of (srcLeft, srcTop, width, height) to (destLeft, destTop), cut to the inclusive
// clip rectangle; transparent copies skip the source's colour key.
void ClippedBlit(const PDirectDrawSurface& src, int32_t srcLeft, int32_t srcTop, int32_t width,
                 int32_t height, const PDirectDrawSurface& dest, int32_t destLeft, int32_t destTop,
                 bool transparent, int32_t clipLeft, int32_t clipTop, int32_t clipRight,
                 int32_t clipBottom);
// The same clipped to 0..clipRight, 0..clipBottom.
void ClippedBlit(const PDirectDrawSurface& dest, int32_t x, int32_t y,
                 const PDirectDrawSurface& src, const TRect& srcRect, int32_t clipRight,
                 int32_t clipBottom, bool colorKey);

// A picture for the path exists: a "JPEG" or "BITMAP" resource named by the upper-cased file
// name, else a file base + ".jpg" (the extension of path is ignored).
bool ImageExists(const std::string& path);
// Loads the picture for the path into surface at (0, 0), cut to the surface; an empty surface
// variable gets a new system-memory surface of the picture's size. False (and a log line)
// when no picture is found.
bool LoadImageToSurface(const std::string& path, PDirectDrawSurface& surface);
bool LoadImageToSurface(const std::string& path, PDirectDrawSurface& surface, int32_t& width,
                        int32_t& height);
