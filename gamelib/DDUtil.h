#pragma once
// The pixel layer under the sprite engine: the engine's graphics state, the surface table,
// result checks, colour conversion, fills, clipped and scaled copies with colour key, constant
// alpha and alpha maps, loading pictures and masks, the status line and screenshots.
#include "platform/ddraw.h"

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Engine state, set up by the fullscreen window before anything is drawn.
extern PDirectDraw DirectDrawObject;
extern std::vector<PDirectDrawSurface> DisplaySurfaces; // 0 the front, 1 the back surface
extern PDirectDrawSurface BackgroundSurface;
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

// A picture for the path exists: a file base + ".bmp" or base + ".jpg", or a "JPEG" or
// "BITMAP" resource named by the upper-cased file name (the extension of path is ignored).
bool ImageExists(const std::string& path);
// Loads the picture for the path into surface at (0, 0), cut to the surface: the "BITMAP"
// resource, else the file base + ".bmp", else base + ".jpg" (both logged as loaded as file),
// else the "JPEG" resource. An empty surface variable gets a new system-memory surface of the
// picture's size. False (and a log line) when no picture is found.
bool LoadImageToSurface(const std::string& path, PDirectDrawSurface& surface);
bool LoadImageToSurface(const std::string& path, PDirectDrawSurface& surface, int32_t& width,
                        int32_t& height);
// The same for sprite sheets, which never take a "JPEG" resource: those are whole-screen
// pictures that share their short names with sheets ("INTRO").
bool SheetExists(const std::string& path);
bool LoadSheetToSurface(const std::string& path, PDirectDrawSurface& surface);
bool LoadSheetToSurface(const std::string& path, PDirectDrawSurface& surface, int32_t& width,
                        int32_t& height);

// Per-pixel weights of a sprite sheet: one byte per pixel, rows top to bottom, each row
// padded to a multiple of 4 bytes. Drawing takes the row length from the sheet's width.
struct TAlphaMap {
    int32_t Width = 0, Height = 0;
    std::vector<uint8_t> Bytes;
};
using PAlphaMap = std::shared_ptr<const TAlphaMap>;

// The surface table: entries 1..SurfaceCount, never moved, so sprites may point at entries.
constexpr int32_t MaxSurfaces = 999;
struct TSurfaceEntry {
    PDirectDrawSurface Surface;
    PAlphaMap AlphaMap;
    std::string FileName; // empty for blank sheets
};
extern std::array<TSurfaceEntry, MaxSurfaces + 1> SurfaceTable;
extern int32_t SurfaceCount;
// Releases every surface and alpha map of the table and empties it.
void FreeSurfaceTable();

// Registers a new surface in the table: the sheet of fileName (its size comes back in
// width and height) or, for an empty name, a blank surface of width x height with caps.
// Optionally sets the source colour key ColorKeyValue. Returns the table entry's number.
int32_t CreateMemSurface(const std::string& fileName, int32_t& width, int32_t& height,
                         PDirectDrawSurface& surface, uint32_t caps, bool setColorKey);

// 0xRRGGBB to the surface's format by shifting each component's top bit onto its channel's
// top bit (the key colour of mask images).
uint32_t ColorToPixelShifted(const PDirectDrawSurface& surface, uint32_t color);
// The red, green and blue bits of the pixel at (x, y).
uint32_t GetPixelColor(const PDirectDrawSurface& surface, int32_t x, int32_t y);
// For each row of the rectangle, the first and the last column (counted from its left edge)
// whose colour bits are not key: left width - 1 and right 0 for a row of key alone. A
// rectangle leaving the surface raises the device's invalid-rectangle error.
void OpaqueRowEdges(const PDirectDrawSurface& surface, const TRect& rect, uint32_t key,
                    std::vector<int32_t>& left, std::vector<int32_t>& right);
// Every pixel whose colour bits are oldColor's gets newColor's (both 0xRRGGBB).
void ReplaceColor(const PDirectDrawSurface& surface, uint32_t oldColor, uint32_t newColor);

// The mask image (resource or file) turns the surface's pixels under its non-black pixels
// into the key colour; nothing happens when no mask is found.
void ApplyMaskImage(const PDirectDrawSurface& surface, const std::string& path, uint32_t keyColor);
// The palette indices of an 8-bit image as an alpha map; none when alpha maps are off or no
// image is found.
PAlphaMap LoadAlphaMap(const std::string& path);

// Scaled copy of (sx, sy, sw, sh) onto (x, y, w, h) cut to the inclusive clip rectangle,
// with colour key, constant alpha (below 255, when enabled) or else the alpha map.
void DrawImageScaled(const PDirectDrawSurface& src, const PAlphaMap& alphaMap, int32_t sx,
                     int32_t sy, int32_t sw, int32_t sh, const PDirectDrawSurface& dest, int32_t x,
                     int32_t y, int32_t w, int32_t h, bool transparent, int32_t alpha,
                     int32_t clipLeft, int32_t clipTop, int32_t clipRight, int32_t clipBottom);
// front (frontRect, scaled to backRect's size) over back (backRect) with weight alpha,
// written to output's top-left corner. Colour-keyed front pixels leave back's pixel.
void AlphaBlendScaled(const PDirectDrawSurface& back, const PDirectDrawSurface& front,
                      const PDirectDrawSurface& output, const TRect& frontRect,
                      const TRect& backRect, int32_t alpha, bool useColorKey);
// The same with the alpha map's byte at each front pixel as the weight.
void AlphaMapBlend(const PDirectDrawSurface& back, const PDirectDrawSurface& front,
                   const PDirectDrawSurface& output, const TRect& frontRect, const TRect& backRect,
                   const PAlphaMap& alphaMap, bool useColorKey);

// The status line in the bottom strip of BottomMargin rows, on the screen at once.
void ShowStatusText(const std::string& text);
// The back buffer as "Screenshots\Shot_" + n + ".jpg", n the first free number.
void TakeScreenshot();
void SaveSurfaceAsJpeg(const PDirectDrawSurface& surface, const std::string& fileName);
