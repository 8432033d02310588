// The game's cartoon motifs, drawn at any size so pictures and sprite sheets share one look:
// chips, peppers, the snack bag, the mascots, the title lettering, the brand mark and buttons.
#pragma once

#include "Draw.h"

#include <cstdint>
#include <string_view>

namespace assetgen {

// A crinkled crisp centred on cx,cy; size is its half width.
void DrawChip(cairo_t* cr, double cx, double cy, double size, double angle, std::uint32_t seed,
              bool shadow = true);

// A red chili pepper centred on cx,cy, pointing along angle; length is tip to stem.
void DrawPepper(cairo_t* cr, double cx, double cy, double length, double angle, bool shadow = true);

// The crimped snack bag of the brand centred on cx,cy.
void DrawSnackBag(cairo_t* cr, double cx, double cy, double width, double height);

// A potato mascot standing on groundY, leaning into a push; its gloves reach
// MascotReach(size) in front of x.
// The warm sunny backdrop of the menu pictures: sky gradient, sun rays and the sun's glow.
void DrawWarmBackdrop(cairo_t* cr, double width, double height, double sunX, double sunY);
// The mascot's cap with its brim pointing ahead, drawn at the head's origin at size s; leaves
// the line width at the cap's.
void DrawMascotCap(cairo_t* cr, double s, const TColor& capColor, const TColor& outline);
void DrawMascot(cairo_t* cr, double x, double groundY, double size, bool facingRight,
                const TColor& capColor);
double MascotReach(double size);

// Playful title lettering: letters rocking on a bouncing baseline, a light rim,
// a dark outline, a golden gradient and a gloss.
void DrawTitleWord(cairo_t* cr, std::string_view text, double cx, double baseline, double size,
                   double wobble);

// The brand's oval badge.
void DrawBrandMark(cairo_t* cr, double cx, double cy, double width, double height);

struct TButtonColors {
    TColor Light;
    TColor Base;
    TColor Dark;
    TColor Outline;
};

inline constexpr TButtonColors GreenButton{Rgb(0xA8F060), Rgb(0x4DBB1F), Rgb(0x23780A),
                                           Rgb(0x123F05)};

// A rounded glossy button filling exactly x,y,w,h (its drop shadow falls outside).
void DrawGlossyButton(cairo_t* cr, double x, double y, double w, double h, std::string_view label,
                      const TButtonColors& colors);

// Small icons for help texts.
void DrawCrosshair(cairo_t* cr, double cx, double cy, double radius, const TColor& color);
void DrawStopwatch(cairo_t* cr, double cx, double cy, double radius);

} // namespace assetgen
