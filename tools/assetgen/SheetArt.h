// The pictures of the game's sprite sheets, one function per sheet. Each draws one image of its
// sequence into a cell whose top-left corner is 0,0, the same look as the menu pictures.
#pragma once

#include "Draw.h"

namespace assetgen {

// One image of a sequence: frame 0 .. Count - 1 in a cell of W × H pixels.
struct TFrame {
    int Index;
    int Count;
    double W;
    double H;
};

using TFrameArt = void (*)(cairo_t* cr, const TFrame& frame);

// The potato mascots: dancing, waiting at the bag, walking away from it and pushing it.
void ArtDance1(cairo_t* cr, const TFrame& frame);
void ArtDance2(cairo_t* cr, const TFrame& frame);
void ArtDance3(cairo_t* cr, const TFrame& frame);
void ArtDance4(cairo_t* cr, const TFrame& frame);
void ArtWaitLeft(cairo_t* cr, const TFrame& frame);  // left of the bag, facing it
void ArtWaitRight(cairo_t* cr, const TFrame& frame); // right of the bag, facing it
void ArtWalkLeft(cairo_t* cr, const TFrame& frame);  // left of the bag, walking to the left
void ArtWalkRight(cairo_t* cr, const TFrame& frame); // right of the bag, walking to the right
void ArtPushLeft(cairo_t* cr, const TFrame& frame);  // left of the bag, pushing it to the right
void ArtPushRight(cairo_t* cr, const TFrame& frame); // right of the bag, pushing it to the left

// Targets turning in space, and the pieces they burst into.
void ArtChip(cairo_t* cr, const TFrame& frame);
void ArtChipPiece(cairo_t* cr, const TFrame& frame);
void ArtChipCrumb(cairo_t* cr, const TFrame& frame);
void ArtPepper(cairo_t* cr, const TFrame& frame);
void ArtPepperPiece(cairo_t* cr, const TFrame& frame);
void ArtPepperTip(cairo_t* cr, const TFrame& frame);

// The open bag: image 1 its back wall, image 2 its front, the rest the front flashing brighter.
void ArtBag(cairo_t* cr, const TFrame& frame);

void ArtCrosshair(cairo_t* cr, const TFrame& frame);
void ArtExtraExplosion(cairo_t* cr, const TFrame& frame);
void ArtExtraTurn(cairo_t* cr, const TFrame& frame);
void ArtExtraRapidFire(cairo_t* cr, const TFrame& frame);
void ArtExtraWide(cairo_t* cr, const TFrame& frame);

void ArtTitle(cairo_t* cr, const TFrame& frame);
void ArtPlayAndWin(cairo_t* cr, const TFrame& frame);
void ArtBrandLogo(cairo_t* cr, const TFrame& frame);
// The count-down before play, ending in "LOS!"; opaque.
void ArtIntro(cairo_t* cr, const TFrame& frame);

// The lettering of banners, clock and score; the characters in the order the display passes.
inline constexpr const char* FontCharacters =
    " ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-*/=!,.@#$%^&:\"[]_();<>?";
void ArtFontGlyph(cairo_t* cr, const TFrame& frame);
void ArtBigDigit(cairo_t* cr, const TFrame& frame);
void ArtScoreLabel(cairo_t* cr, const TFrame& frame);
void ArtTimeLabel(cairo_t* cr, const TFrame& frame);

// A crumb shrinking to nothing; the last image stays empty.
void ArtParticle(cairo_t* cr, const TFrame& frame);
// Point pop-ups: -250 … -10, +10 … +250, +500.
int PointsOfFrame(int index);
void ArtPoints(cairo_t* cr, const TFrame& frame);

} // namespace assetgen
