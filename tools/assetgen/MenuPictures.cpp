#include "MenuPictures.h"

#include "SnackArt.h"

#include <cmath>
#include <numbers>

namespace assetgen {

namespace {

constexpr double Pi = std::numbers::pi;

struct TFlyer {
    double X;
    double Y;
    double Size;
    double Angle;
    bool Pepper;
};

// Warm sky, sun rays, floating light and a rolling hill to stand on.
void DrawSnackBackground(cairo_t* cr, int width, int height, double sunX, double sunY,
                         double hillY) {
    DrawWarmBackdrop(cr, width, height, sunX, sunY);

    TRandom random(0xB0C3u);
    for (int i = 0; i < 26; ++i) {
        const double x = random.Uniform(0, width);
        const double y = random.Uniform(0, hillY);
        const double r = random.Uniform(2, 9) * width / 640.0;
        cairo_new_path(cr);
        cairo_arc(cr, x, y, r, 0, 2 * Pi);
        SetSource(cr, Rgb(0xFFFFFF, random.Uniform(0.1, 0.3)));
        cairo_fill(cr);
    }

    const double w = width;
    auto hill = [&](cairo_t* c) {
        cairo_move_to(c, 0, hillY);
        cairo_curve_to(c, w * 0.2, hillY - height * 0.04, w * 0.35, hillY + height * 0.03, w * 0.55,
                       hillY);
        cairo_curve_to(c, w * 0.75, hillY - height * 0.035, w * 0.88, hillY - height * 0.01, w,
                       hillY - height * 0.02);
        cairo_line_to(c, w, height);
        cairo_line_to(c, 0, height);
        cairo_close_path(c);
    };
    SoftShadow(cr, hill, 0, -3, 6, Rgb(0xFFF0B0, 0.6));
    cairo_new_path(cr);
    hill(cr);
    TPattern ground =
        LinearGradient(0, hillY - height * 0.04, 0, height,
                       {{0, Rgb(0xD8361A)}, {0.5, Rgb(0xA8200E)}, {1, Rgb(0x6E1006)}});
    SetSource(cr, ground);
    cairo_fill(cr);
    // Crumbs scattered on the ground.
    for (int i = 0; i < 40; ++i) {
        const double x = random.Uniform(0, width);
        const double y = random.Uniform(hillY + height * 0.03, height);
        const double r = random.Uniform(1.2, 3.2) * width / 640.0;
        cairo_new_path(cr);
        EllipsePath(cr, x, y, r, r * 0.7);
        SetSource(cr, Rgb(0xFFC850, random.Uniform(0.35, 0.7)));
        cairo_fill(cr);
    }
}

void DrawFlyers(cairo_t* cr, std::initializer_list<TFlyer> flyers, std::uint32_t seed) {
    for (const TFlyer& flyer : flyers) {
        if (flyer.Pepper)
            DrawPepper(cr, flyer.X, flyer.Y, flyer.Size, flyer.Angle);
        else
            DrawChip(cr, flyer.X, flyer.Y, flyer.Size, flyer.Angle, seed++);
    }
}

// Speed lines behind something flying.
void MotionLines(cairo_t* cr, double x, double y, double length, double angle, double spread) {
    TSaved saved(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, angle);
    cairo_new_path(cr);
    for (int i = -1; i <= 1; ++i) {
        cairo_move_to(cr, -length * (i == 0 ? 1.0 : 0.7), i * spread);
        cairo_line_to(cr, 0, i * spread);
    }
    SetSource(cr, Rgb(0xFFFFFF, 0.7));
    cairo_set_line_width(cr, 2.2);
    cairo_stroke(cr);
}

// The red frame that holds the embedded page; both menu pictures share it.
void DrawWebFrame(cairo_t* cr) {
    constexpr double border = 9;
    const double fx = WebX - border;
    const double fy = WebY - border;
    const double fw = WebW + 2 * border;
    const double fh = WebH + 2 * border;
    auto frame = [&](cairo_t* c) { RoundedRectPath(c, fx, fy, fw, fh, 14); };
    SoftShadow(cr, frame, 3, 5, 8, Rgb(0x3A0800, 0.5));
    cairo_new_path(cr);
    frame(cr);
    TPattern body = LinearGradient(0, fy, 0, fy + fh,
                                   {{0, Rgb(0xF04A30)}, {0.5, Rgb(0xC8180E)}, {1, Rgb(0x8A0A06)}});
    SetSource(cr, body);
    cairo_fill_preserve(cr);
    SetSource(cr, Rgb(0x4A0602));
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    // Gloss on the frame's upper edge.
    cairo_new_path(cr);
    RoundedRectPath(cr, fx + 3, fy + 2.5, fw - 6, border, 10);
    SetSource(cr, Rgb(0xFFFFFF, 0.3));
    cairo_fill(cr);
    // A sunken bevel right outside the page.
    cairo_new_path(cr);
    cairo_rectangle(cr, WebX - 2, WebY - 2, WebW + 4, WebH + 4);
    SetSource(cr, Rgb(0xFFD9A0));
    cairo_fill(cr);
    cairo_new_path(cr);
    cairo_move_to(cr, WebX - 2, WebY + WebH + 2);
    cairo_line_to(cr, WebX - 2, WebY - 2);
    cairo_line_to(cr, WebX + WebW + 2, WebY - 2);
    cairo_line_to(cr, WebX + WebW, WebY);
    cairo_line_to(cr, WebX, WebY);
    cairo_line_to(cr, WebX, WebY + WebH);
    cairo_close_path(cr);
    SetSource(cr, Rgb(0x4A0602));
    cairo_fill(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, WebX, WebY, WebW, WebH);
    SetSource(cr, Rgb(0xFFFFFF));
    cairo_fill(cr);
}

// What the page area shows while offline: how to play and how to start.
void DrawOfflinePanel(cairo_t* cr) {
    TSaved saved(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, WebX, WebY, WebW, WebH);
    cairo_clip(cr);
    TPattern paper =
        LinearGradient(0, WebY, 0, WebY + WebH, {{0, Rgb(0xFFFCEE)}, {1, Rgb(0xFFE7B0)}});
    SetSource(cr, paper);
    cairo_paint(cr);
    // Faint rays on the paper.
    Sunburst(cr, WebX + WebW - 30, WebY + WebH - 20, 320, 18, 0, Rgb(0xFFD27A, 0.35));

    // Header band.
    cairo_new_path(cr);
    cairo_rectangle(cr, WebX, WebY, WebW, 34);
    TPattern band = LinearGradient(0, WebY, 0, WebY + 34, {{0, Rgb(0xF04A30)}, {1, Rgb(0xB8120A)}});
    SetSource(cr, band);
    cairo_fill(cr);
    cairo_new_path(cr);
    cairo_move_to(cr, WebX, WebY + 34.5);
    cairo_line_to(cr, WebX + WebW, WebY + 34.5);
    SetSource(cr, Rgb(0xFFD21E));
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    StyledText(cr, {"DejaVu Sans", 18, true}, "So wird gespielt!", WebX + 14, WebY + 24,
               TAlign::Left, {Rgb(0xFFFFFF), Rgb(0x5A0A02), 3, Rgb(0x000000, 0.35), 1, 2, 2});
    DrawChip(cr, WebX + WebW - 58, WebY + 18, 12, 0.3, 41, false);
    DrawPepper(cr, WebX + WebW - 26, WebY + 18, 30, -0.5, false);

    const TFont rowFont{"DejaVu Sans", 13, true};
    const TTextStyle rowStyle{Rgb(0x5A1A05)};
    const double iconX = WebX + 26;
    const double textX = WebX + 50;
    double y = WebY + 58;
    DrawCrosshair(cr, iconX, y, 11, Rgb(0xC8140C));
    StyledText(cr, rowFont, "Chips und Peperoni abschießen", textX, y + 5, TAlign::Left, rowStyle);
    y += 34;
    DrawSnackBag(cr, iconX, y, 19, 25);
    StyledText(cr, rowFont, "Stücke mit der Tüte fangen", textX, y + 5, TAlign::Left, rowStyle);
    y += 34;
    DrawStopwatch(cr, iconX, y + 1, 10);
    StyledText(cr, rowFont, "90 Sekunden – hol den Rekord!", textX, y + 5, TAlign::Left, rowStyle);

    // Footer.
    cairo_new_path(cr);
    cairo_rectangle(cr, WebX, WebY + WebH - 26, WebW, 26);
    SetSource(cr, Rgb(0x8A2A08, 0.12));
    cairo_fill(cr);
    StyledText(cr, {"DejaVu Sans", 10.5, false, true},
               "Offline – starte das Spiel mit F9 oder klicke auf START", WebX + WebW / 2.0,
               WebY + WebH - 9, TAlign::Center, {Rgb(0x6A2008)});
}

void DrawMenuPicture(TCanvas& canvas, bool online) {
    cairo_t* cr = canvas.Cr();
    const int width = canvas.Width();
    const int height = canvas.Height();
    const double groundY = 372;
    DrawSnackBackground(cr, width, height, 490, 120, groundY - 10);

    // Snacks flying behind the title and around the bag.
    MotionLines(cr, 395, 240, 40, 0.5, 8);
    DrawFlyers(cr,
               {{395, 240, 17, 0.6, false},
                {368, 36, 13, 1.1, false},
                {606, 206, 36, 2.3, true},
                {372, 118, 30, -0.7, true},
                {62, 262, 44, -2.6, true},
                {108, 318, 20, 0.4, false},
                {26, 348, 12, -0.6, false},
                {300, 262, 15, -1.0, false},
                {322, 334, 11, 0.8, false}},
               101);

    DrawBagTeam(cr, 498, groundY, 112, 140, 82);
    // Pieces falling into the bag.
    DrawChip(cr, 480, 214, 7, 0.9, 201);
    DrawChip(cr, 514, 200, 6, -0.6, 202);
    DrawChip(cr, 496, 184, 5, 0.2, 203);

    DrawTitleWord(cr, "Crumble", 498, 92, 54, 1.0);
    DrawTitleWord(cr, "Rush!", 505, 158, 64, 1.2);

    DrawBrandMark(cr, WebX + 44, 24, 92, 34);
    StyledText(cr, {"DejaVu Sans", 15, true, true}, "präsentiert", WebX + 98, 30, TAlign::Left,
               {Rgb(0xFFFFFF), Rgb(0x8A2A08), 3, Rgb(0x3A0800, 0.35), 1, 2, 2});

    // Shade the edges before the page's frame so the page area stays neutral.
    Vignette(cr, width, height);
    DrawWebFrame(cr);
    if (!online) DrawOfflinePanel(cr);

    DrawGlossyButton(cr, StartX, StartY, StartW, StartH, "START", GreenButton);
    StyledText(cr, {"DejaVu Sans", 11, true}, "oder F9 drücken", StartX + StartW / 2.0,
               StartY + StartH + 20, TAlign::Center, {Rgb(0xFFFFFF), Rgb(0x6A1006), 2.5});
}

} // namespace

void DrawMenue(TCanvas& canvas) {
    DrawMenuPicture(canvas, false);
}

void DrawMenueNet(TCanvas& canvas) {
    DrawMenuPicture(canvas, true);
}

void DrawLoaderPic(TCanvas& canvas) {
    cairo_t* cr = canvas.Cr();
    const int width = canvas.Width();
    const int height = canvas.Height();
    const double groundY = 505;
    DrawSnackBackground(cr, width, height, 400, 300, groundY - 12);

    MotionLines(cr, 120, 250, 60, 0.3, 11);
    MotionLines(cr, 690, 300, 60, 2.8, 11);
    MotionLines(cr, 180, 390, 50, -0.2, 9);
    DrawFlyers(cr,
               {{120, 250, 30, 0.5, false},
                {690, 300, 28, -0.8, false},
                {80, 400, 56, -2.4, true},
                {716, 420, 52, 2.6, true},
                {180, 390, 18, 1.4, false},
                {620, 220, 20, -1.1, false},
                {250, 235, 46, -0.4, true},
                {560, 250, 22, 0.9, false},
                {52, 545, 14, 0.5, false},
                {760, 560, 16, -0.4, false},
                {70, 190, 15, 2.0, false},
                {740, 185, 14, -1.4, false}},
               301);

    DrawBagTeam(cr, 400, groundY, 170, 205, 125);
    DrawChip(cr, 378, 262, 11, 0.9, 401);
    DrawChip(cr, 425, 240, 9, -0.6, 402);
    DrawPepper(cr, 400, 212, 26, 1.2);

    DrawBrandMark(cr, 400, 40, 130, 50);
    DrawTitleWord(cr, "Crumble Rush", 400, 160, 84, 1.0);

    StyledText(cr, {"DejaVu Sans", 26, true}, "Bitte warten …", 400, 568, TAlign::Center,
               {Rgb(0xFFFFFF), Rgb(0x5A0A02), 5, Rgb(0x000000, 0.45), 2, 3, 3});

    Vignette(cr, width, height);
}

} // namespace assetgen
