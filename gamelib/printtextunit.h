#pragma once
// Text in surfaces: system-font text with an outline, shrunk until it fits. (The sprite-font
// routines join this unit with the sprite tables.)
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
