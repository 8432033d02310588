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

// The parts of a crisp, centred on the origin at half width size, for crisps drawn turning.
inline constexpr TColor ChipOutline = Rgb(0x7A3A0C);
void ChipOutlinePath(cairo_t* cr, double size, std::uint32_t seed);
TPattern ChipFaceGradient(double size);
// The crinkle ridges over the clipped face; returns the random source the spots go on with.
TRandom DrawChipRidges(cairo_t* cr, double size, std::uint32_t seed);
void DrawChipSpots(cairo_t* cr, double size, TRandom& random, int count);

// A red chili pepper centred on cx,cy, pointing along angle; length is tip to stem.
void DrawPepper(cairo_t* cr, double cx, double cy, double length, double angle, bool shadow = true);
// Strokes the current path as the pepper's green stem: a dark edge of width, a light core.
void StrokePepperStem(cairo_t* cr, double width, double coreWidth);

// The crimped snack bag of the brand centred on cx,cy.
void DrawSnackBag(cairo_t* cr, double cx, double cy, double width, double height);

// The bag's red foil, its sealed crimp and the gloss band on it, shading from x0 to x1.
TPattern BagFoilGradient(double x0, double x1);
TPattern BagCrimpGradient(double x0, double x1);
TPattern BagGlossGradient(double x0, double x1);

// The warm sunny backdrop of the menu pictures: sky gradient, sun rays and the sun's glow.
void DrawWarmBackdrop(cairo_t* cr, double width, double height, double sunX, double sunY);

// How the potato mascot stands. Coordinates are in units of its size, x pointing where it
// looks, y up from the ground being negative.
struct TPose {
    double Lean = 0.06;
    double Lift = 0;
    double Stretch = 0;
    double BackFootX = -0.22;
    double FrontFootX = 0.12;
    double BackFootLift = 0;
    double FrontFootLift = 0;
    double NearHandX = 0.3;
    double NearHandY = -0.42;
    double FarHandX = 0.22;
    double FarHandY = -0.5;
    double LookX = 0.025;
    bool Blink = false;
    bool OpenMouth = false;
};

// The potato mascot in any pose, standing on groundY at x.
void DrawPosedMascot(cairo_t* cr, double x, double groundY, double size, bool facingRight,
                     const TColor& capColor, const TPose& pose);

// The mascot on its shadow, leaning into a push; its gloves reach MascotReach(size) in front
// of x.
void DrawMascot(cairo_t* cr, double x, double groundY, double size, bool facingRight,
                const TColor& capColor);
double MascotReach(double size);

// The bag of bagW x bagH with both mascots pushing it, all standing on groundY.
void DrawBagTeam(cairo_t* cr, double cx, double groundY, double bagW, double bagH,
                 double mascotSize);

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
