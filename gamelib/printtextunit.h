#pragma once
// Text in surfaces: sprite-font text and numbers placed into the rectangle of a target sprite,
// and system-font text with an outline, shrunk until it fits.
#include "platform/ddraw.h"

#include <cstdint>
#include <string>

// Horizontal alignment, relative to x.
constexpr int32_t TextAlignStart = 0;  // the text starts at x
constexpr int32_t TextAlignEnd = 1;    // it ends at x
constexpr int32_t TextAlignCentre = 2; // it is centred on x
// Vertical alignment, relative to y.
constexpr int32_t TextAlignTop = 0;
constexpr int32_t TextAlignMiddle = 1;
constexpr int32_t TextAlignBottom = 2;

// Draws text onto the surface in the named font (style: fsBold, fsItalic, ... of canvas.h),
// colour 0x00BBGGRR, surrounded by an outline of the given width in white (dark text) or near
// black (light text). Starting at fontSize, the size shrinks (down to 5) until the text with its
// outline fits inside the surface minus the margins.
void PrintTextEx(int32_t x, int32_t y, const std::string& text, const PDirectDrawSurface& surface,
                 uint32_t fontStyle, int32_t fontSize, const std::string& fontName, int32_t outline,
                 uint32_t color, int32_t vAlign, int32_t hAlign, int32_t leftMargin,
                 int32_t topMargin, int32_t rightMargin, int32_t bottomMargin);
// The same without margins.
void PrintText(int32_t x, int32_t y, const std::string& text, const PDirectDrawSurface& surface,
               uint32_t fontStyle, int32_t fontSize, const std::string& fontName, int32_t outline,
               uint32_t color, int32_t vAlign, int32_t hAlign);

// Alignment of the sprite-font routines.
constexpr int32_t SpriteAlignLeft = 0;
constexpr int32_t SpriteAlignRight = 1;
constexpr int32_t SpriteAlignCentre = 2;

// Glyphs of fontObject (animation 0, frame n = character n of charset; characters missing from
// the set take frame 0) side by side in the rectangle of the target sprite (targetObject,
// targetAnimation, frame 0), which is filled with colour 0 first. advance 0 takes the width of
// glyph 0; advance + 10000 switches kerning off, which otherwise pushes a glyph right until it
// touches its left neighbour in no pixel row. The fourth argument is not used.
void PrintSpriteText(const std::string& text, int32_t targetObject, int32_t targetAnimation,
                     int32_t unused, int32_t align, int32_t advance, const std::string& charset,
                     int32_t fontObject);
// value with leading zeros to width digits in the digit sprites of digitObject (animation d
// for digit d, 10 for the minus sign) on the target's surface from its origin; numbers of 7 or
// more characters leave the target empty.
void PrintNumber(int32_t value, int32_t width, int32_t targetObject, int32_t targetAnimation,
                 int32_t align, int32_t digitObject);
