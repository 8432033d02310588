#include "Pictures.h"

#include "JpegWriter.h"
#include "MenuPictures.h"
#include "SnackArt.h"

#include <array>
#include <cmath>
#include <functional>
#include <numbers>
#include <stdexcept>
#include <string>

namespace assetgen {

namespace {

constexpr double Pi = std::numbers::pi;

struct TPalette {
    TColor SkyTop, SkyMid, SkyLow;
    TColor Cloud;
    TColor FarHill, MidHill, NearHill;
    TColor GroundTop, GroundLow;
    TColor Crumb;
    bool Stars;
};

// Daylight for "sb"; dusk for "fb". Both keep the golden chips and red peppers readable.
const TPalette SbPalette{Rgb(0x3C8EE0), Rgb(0x7CC0F4),      Rgb(0xCDEBFA), Rgb(0xFFFFFF, 0.85),
                         Rgb(0x9CCBE0), Rgb(0x6DB86A),      Rgb(0x3F9A3C), Rgb(0x8A5A2E),
                         Rgb(0x5A3416), Rgb(0xE8C070, 0.6), false};
const TPalette FbPalette{Rgb(0x1A1850), Rgb(0x4A2F7A),       Rgb(0xF08A5A), Rgb(0xFFC8B0, 0.35),
                         Rgb(0x6A4A8A), Rgb(0x3E2E6A),       Rgb(0x271E4A), Rgb(0x3A2A50),
                         Rgb(0x1A1228), Rgb(0xF0B070, 0.35), true};

const TPalette& PaletteOf(TGfxSet set) {
    return set == TGfxSet::Sb ? SbPalette : FbPalette;
}

// Draws something three times, a picture width apart, so what leaves one edge comes in at the
// other: the picture then tiles without a seam.
void Wrapped(cairo_t* cr, double width, const std::function<void()>& draw) {
    for (int k = -1; k <= 1; ++k) {
        TSaved saved(cr);
        cairo_translate(cr, k * width, 0);
        draw();
    }
}

// A hill line made of whole periods across the width, so both edges meet.
void HillPath(cairo_t* cr, double width, double height, double baseY,
              std::initializer_list<std::array<double, 3>> waves) {
    cairo_move_to(cr, 0, height);
    for (int x = 0; x <= static_cast<int>(width); x += 4) {
        double y = baseY;
        for (const auto& w : waves)
            y += w[0] * std::sin(2 * Pi * w[1] * x / width + w[2]);
        cairo_line_to(cr, x, y);
    }
    cairo_line_to(cr, width, height);
    cairo_close_path(cr);
}

void Cloud(cairo_t* cr, double x, double y, double size, const TColor& color) {
    cairo_new_path(cr);
    EllipsePath(cr, x, y, size * 1.6, size * 0.55);
    cairo_new_sub_path(cr);
    cairo_arc(cr, x - size * 0.6, y - size * 0.25, size * 0.55, 0, 2 * Pi);
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + size * 0.15, y - size * 0.45, size * 0.7, 0, 2 * Pi);
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + size * 0.85, y - size * 0.15, size * 0.5, 0, 2 * Pi);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    TPattern shade = LinearGradient(0, y - size * 1.1, 0, y + size * 0.55,
                                    {{0, color}, {1, Mix(color, Rgb(0xC8DCEE, color.A), 0.4)}});
    SetSource(cr, shade);
    cairo_fill(cr);
}

// A round tree on a hill.
void Tree(cairo_t* cr, double x, double groundY, double size, const TColor& leaves) {
    cairo_new_path(cr);
    cairo_rectangle(cr, x - size * 0.08, groundY - size * 0.9, size * 0.16, size * 0.9);
    SetSource(cr, Rgb(0x5A3A1A));
    cairo_fill(cr);
    cairo_new_path(cr);
    cairo_arc(cr, x, groundY - size * 1.1, size * 0.5, 0, 2 * Pi);
    TPattern ball =
        RadialGradient(x - size * 0.2, groundY - size * 1.3, size * 0.05, x, groundY - size * 1.1,
                       size * 0.55, {{0, Mix(leaves, Rgb(0xFFFFFF), 0.3)}, {1, leaves}});
    SetSource(cr, ball);
    cairo_fill(cr);
}

// Stars and the moon with its glow, well inside the picture.
void NightSky(cairo_t* cr, double width, double height, TRandom& random) {
    for (int i = 0; i < 90; ++i) {
        const double x = random.Uniform(0, width);
        const double y = random.Uniform(0, height * 0.45);
        const double r = random.Uniform(0.6, 1.8);
        cairo_new_path(cr);
        cairo_arc(cr, x, y, r, 0, 2 * Pi);
        SetSource(cr, Rgb(0xFFF6D8, random.Uniform(0.4, 0.95)));
        cairo_fill(cr);
    }
    TPattern glow = RadialGradient(690, 118, 0, 690, 118, 110,
                                   {{0, Rgb(0xFFF4D0, 0.45)}, {1, Rgb(0xFFF4D0, 0)}});
    SetSource(cr, glow);
    cairo_paint(cr);
    cairo_new_path(cr);
    cairo_arc(cr, 690, 118, 34, 0, 2 * Pi);
    SetSource(cr, Rgb(0xFFF2C8));
    cairo_fill(cr);
    cairo_new_path(cr);
    cairo_arc(cr, 678, 108, 7, 0, 2 * Pi);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 702, 130, 5, 0, 2 * Pi);
    SetSource(cr, Rgb(0xE8D6A0));
    cairo_fill(cr);
}

void Clouds(cairo_t* cr, double width, const TColor& color) {
    const double clouds[][3] = {{90, 90, 34},   {330, 150, 26}, {560, 70, 40},
                                {760, 190, 22}, {220, 260, 18}, {470, 230, 24}};
    for (const auto& c : clouds)
        Wrapped(cr, width, [&] { Cloud(cr, c[0], c[1], c[2], color); });
}

// Three bands of hills, trees standing on the middle one.
void Hills(cairo_t* cr, double width, double height, const TPalette& p) {
    cairo_new_path(cr);
    HillPath(cr, width, height, height * 0.62, {{26, 2, 0.4}, {12, 5, 1.9}, {6, 9, 0.2}});
    SetSource(cr, p.FarHill);
    cairo_fill(cr);
    cairo_new_path(cr);
    HillPath(cr, width, height, height * 0.7, {{30, 3, 2.2}, {10, 7, 0.7}});
    TPattern mid = LinearGradient(0, height * 0.62, 0, height * 0.85,
                                  {{0, Mix(p.MidHill, Rgb(0xFFFFFF), 0.15)}, {1, p.MidHill}});
    SetSource(cr, mid);
    cairo_fill(cr);
    // Trees standing on the middle hills, placed on their line.
    for (int i = 0; i < 7; ++i) {
        const double x = 60 + i * 114.0 + (i % 2) * 23;
        const double y = height * 0.7 + 30 * std::sin(2 * Pi * 3 * x / width + 2.2) +
                         10 * std::sin(2 * Pi * 7 * x / width + 0.7) + 6;
        Wrapped(cr, width, [&] {
            Tree(cr, x, y, 26 + (i % 3) * 6, Mix(p.NearHill, Rgb(0x90E060), p.Stars ? 0.1 : 0.35));
        });
    }
    cairo_new_path(cr);
    HillPath(cr, width, height, height * 0.82, {{12, 2, 1.1}, {6, 6, 2.8}});
    TPattern near = LinearGradient(0, height * 0.78, 0, height,
                                   {{0, p.NearHill}, {1, Mix(p.NearHill, Rgb(0x000000), 0.35)}});
    SetSource(cr, near);
    cairo_fill(cr);
}

// The field along the bottom, furrowed, with crumbs.
void Field(cairo_t* cr, double width, double height, const TPalette& p, TRandom& random) {
    const double fieldY = height * 0.9;
    cairo_new_path(cr);
    HillPath(cr, width, height, fieldY, {{3, 4, 0.3}});
    TPattern field = LinearGradient(0, fieldY - 4, 0, height, {{0, p.GroundTop}, {1, p.GroundLow}});
    SetSource(cr, field);
    cairo_fill(cr);
    for (int row = 0; row < 3; ++row) {
        cairo_new_path(cr);
        const double y = fieldY + 14 + row * 15;
        cairo_move_to(cr, 0, y);
        for (int x = 0; x <= static_cast<int>(width); x += 8)
            cairo_line_to(cr, x, y + 2 * std::sin(2 * Pi * 8 * x / width + row));
        SetSource(cr, Rgb(0x000000, 0.18));
        cairo_set_line_width(cr, 3);
        cairo_stroke(cr);
    }
    for (int i = 0; i < 70; ++i) {
        const double x = random.Uniform(0, width);
        const double y = random.Uniform(fieldY + 6, height - 3);
        const double r = random.Uniform(1.2, 3.0);
        Wrapped(cr, width, [&] {
            cairo_new_path(cr);
            EllipsePath(cr, x, y, r, r * 0.7);
            SetSource(cr, p.Crumb);
            cairo_fill(cr);
        });
    }
}

// The scrolling play background: sky, clouds or stars, three hill bands and the field the
// bag is pushed along. Everything repeats across the width.
void DrawLandscape(cairo_t* cr, double width, double height, const TPalette& p) {
    TPattern sky =
        LinearGradient(0, 0, 0, height * 0.75, {{0, p.SkyTop}, {0.55, p.SkyMid}, {1, p.SkyLow}});
    SetSource(cr, sky);
    cairo_paint(cr);

    TRandom random(p.Stars ? 0xF00Du : 0x5B5Bu);
    if (p.Stars) NightSky(cr, width, height, random);
    Clouds(cr, width, p.Cloud);
    Hills(cr, width, height, p);
    Field(cr, width, height, p, random);
    // Top and bottom shaded a little; the sides stay unshaded so the tiles meet.
    TPattern shade = LinearGradient(0, 0, 0, height,
                                    {{0, Rgb(0x000000, 0.18)},
                                     {0.2, Rgb(0x000000, 0)},
                                     {0.85, Rgb(0x000000, 0)},
                                     {1, Rgb(0x000000, 0.25)}});
    SetSource(cr, shade);
    cairo_paint(cr);
}

// A cream panel with a soft shadow, as the menu's offline page.
void Panel(cairo_t* cr, double x, double y, double w, double h, double alpha) {
    auto shape = [&](cairo_t* c) { RoundedRectPath(c, x, y, w, h, 16); };
    SoftShadow(cr, shape, 3, 5, 8, Rgb(0x3A0800, 0.45));
    cairo_new_path(cr);
    shape(cr);
    TPattern paper =
        LinearGradient(0, y, 0, y + h, {{0, Rgb(0xFFFCEE, alpha)}, {1, Rgb(0xFFE7B0, alpha)}});
    SetSource(cr, paper);
    cairo_fill_preserve(cr);
    SetSource(cr, Rgb(0x8A2A08));
    cairo_set_line_width(cr, 2.5);
    cairo_stroke(cr);
}

// Badges for the four extras, as the enemies show them: a symbol on a coloured triangle.
enum class TExtra { Explode, Turn, RapidFire, Wide };

void ExtraBadge(cairo_t* cr, double cx, double cy, double r, TExtra extra) {
    const TColor colors[] = {Rgb(0xE8301A), Rgb(0x7A3AD0), Rgb(0x1A8AE0), Rgb(0x2AA02A)};
    const TColor color = colors[static_cast<int>(extra)];
    auto triangle = [&](cairo_t* c) {
        cairo_move_to(c, cx, cy - r);
        cairo_line_to(c, cx + r * 0.95, cy + r * 0.7);
        cairo_line_to(c, cx - r * 0.95, cy + r * 0.7);
        cairo_close_path(c);
    };
    SoftShadow(cr, triangle, 1.5, 2.5, 3, Rgb(0x000000, 0.4));
    cairo_new_path(cr);
    triangle(cr);
    TPattern body =
        LinearGradient(0, cy - r, 0, cy + r, {{0, Mix(color, Rgb(0xFFFFFF), 0.4)}, {1, color}});
    SetSource(cr, body);
    cairo_fill_preserve(cr);
    SetSource(cr, Rgb(0xFFFFFF));
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, r * 0.12);
    cairo_stroke(cr);
    const double sy = cy + r * 0.15;
    const double s = r * 0.38;
    cairo_new_path(cr);
    SetSource(cr, Rgb(0xFFFFFF));
    switch (extra) {
    case TExtra::Explode:
        StarPath(cr, cx, sy, s * 1.1, s * 0.5, 8, 0);
        SetSource(cr, Rgb(0xFFE040));
        cairo_fill(cr);
        break;
    case TExtra::Turn:
        cairo_arc(cr, cx, sy, s * 0.8, 0.3, 2 * Pi - 0.6);
        cairo_set_line_width(cr, r * 0.11);
        cairo_stroke(cr);
        cairo_move_to(cr, cx + s * 1.1, sy - s * 0.1);
        cairo_line_to(cr, cx + s * 0.4, sy - s * 0.2);
        cairo_line_to(cr, cx + s * 0.85, sy - s * 0.8);
        cairo_close_path(cr);
        cairo_fill(cr);
        break;
    case TExtra::RapidFire:
        cairo_move_to(cr, cx + s * 0.2, sy - s * 1.1);
        cairo_line_to(cr, cx - s * 0.6, sy + s * 0.1);
        cairo_line_to(cr, cx, sy + s * 0.1);
        cairo_line_to(cr, cx - s * 0.3, sy + s * 1.0);
        cairo_line_to(cr, cx + s * 0.6, sy - s * 0.25);
        cairo_line_to(cr, cx, sy - s * 0.25);
        cairo_close_path(cr);
        SetSource(cr, Rgb(0xFFE040));
        cairo_fill(cr);
        break;
    case TExtra::Wide:
        cairo_move_to(cr, cx - s * 1.2, sy);
        cairo_line_to(cr, cx - s * 0.5, sy - s * 0.55);
        cairo_line_to(cr, cx - s * 0.5, sy - s * 0.2);
        cairo_line_to(cr, cx + s * 0.5, sy - s * 0.2);
        cairo_line_to(cr, cx + s * 0.5, sy - s * 0.55);
        cairo_line_to(cr, cx + s * 1.2, sy);
        cairo_line_to(cr, cx + s * 0.5, sy + s * 0.55);
        cairo_line_to(cr, cx + s * 0.5, sy + s * 0.2);
        cairo_line_to(cr, cx - s * 0.5, sy + s * 0.2);
        cairo_line_to(cr, cx - s * 0.5, sy + s * 0.55);
        cairo_close_path(cr);
        cairo_fill(cr);
        break;
    }
}

const TTextStyle HeadStyle{Rgb(0xFFFFFF), Rgb(0x5A0A02), 4, Rgb(0x000000, 0.4), 2, 3, 3};
const TTextStyle RowStyle{Rgb(0x5A1A05)};

} // namespace

void DrawMenuBack(TCanvas& canvas) {
    cairo_t* cr = canvas.Cr();
    const double w = canvas.Width();
    const double h = canvas.Height();
    // Calm paper in the middle where the dialog's texts and buttons sit; the snack motifs stay
    // in the corners.
    TPattern paper = LinearGradient(0, 0, 0, h, {{0, Rgb(0xFFFBE6)}, {1, Rgb(0xFFDFA0)}});
    SetSource(cr, paper);
    cairo_paint(cr);
    Sunburst(cr, w * 0.5, h * 1.1, w, 20, 0.05, Rgb(0xFFD27A, 0.3));
    cairo_new_path(cr);
    cairo_rectangle(cr, 0, 0, w, 10);
    TPattern band = LinearGradient(0, 0, 0, 10, {{0, Rgb(0xF04A30)}, {1, Rgb(0xB8120A)}});
    SetSource(cr, band);
    cairo_fill(cr);
    cairo_new_path(cr);
    cairo_move_to(cr, 0, 11);
    cairo_line_to(cr, w, 11);
    SetSource(cr, Rgb(0xFFD21E));
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    DrawChip(cr, 26, h - 24, 20, 0.5, 501);
    DrawPepper(cr, w - 30, 48, 52, -0.9);
    DrawChip(cr, w - 64, 30, 11, -0.4, 502);
    DrawChip(cr, 58, h - 14, 10, 1.4, 503);
    DrawBrandMark(cr, w - 52, h - 20, 80, 28);
    TPattern edge =
        RadialGradient(w / 2, h / 2, std::min(w, h) * 0.5, w / 2, h / 2, std::hypot(w, h) * 0.6,
                       {{0, Rgb(0x8A3A08, 0)}, {1, Rgb(0x8A3A08, 0.25)}});
    SetSource(cr, edge);
    cairo_paint(cr);
}

void DrawIntro(TCanvas& canvas) {
    cairo_t* cr = canvas.Cr();
    const double w = canvas.Width();
    const double h = canvas.Height();
    DrawWarmBackdrop(cr, w, h, 400, 230);
    const double groundY = 530;
    cairo_new_path(cr);
    HillPath(cr, w, h, groundY - 14, {{10, 1, 0.5}, {5, 3, 1.2}});
    TPattern ground = LinearGradient(
        0, groundY - 30, 0, h, {{0, Rgb(0xD8361A)}, {0.5, Rgb(0xA8200E)}, {1, Rgb(0x6E1006)}});
    SetSource(cr, ground);
    cairo_fill(cr);

    struct TFly {
        double X, Y, Size, Angle;
        bool Pepper;
    };
    const TFly flyers[] = {{110, 300, 34, 0.5, false}, {700, 280, 30, -0.8, false},
                           {90, 450, 60, -2.4, true},  {720, 440, 56, 2.6, true},
                           {230, 250, 20, 1.4, false}, {580, 240, 22, -1.1, false},
                           {60, 170, 16, 2.0, false},  {745, 160, 15, -1.4, false}};
    std::uint32_t seed = 601;
    for (const TFly& f : flyers) {
        if (f.Pepper)
            DrawPepper(cr, f.X, f.Y, f.Size, f.Angle);
        else
            DrawChip(cr, f.X, f.Y, f.Size, f.Angle, seed++);
    }
    DrawBagTeam(cr, 400, groundY, 180, 215, 130);
    DrawChip(cr, 376, 292, 12, 0.9, 611);
    DrawChip(cr, 428, 270, 10, -0.6, 612);

    DrawBrandMark(cr, 400, 42, 140, 52);
    StyledText(cr, {"DejaVu Sans", 20, true, true}, "präsentiert", 400, 96, TAlign::Center,
               {Rgb(0xFFFFFF), Rgb(0x8A2A08), 3.5, Rgb(0x3A0800, 0.35), 1, 2, 2});
    DrawTitleWord(cr, "Crumble Rush", 400, 190, 92, 1.0);
    StyledText(cr, {"DejaVu Sans", 26, true}, "Zielen, schießen, fangen!", 400, 575, TAlign::Center,
               HeadStyle);
    Vignette(cr, w, h);
}

void DrawGameBack(TCanvas& canvas, TGfxSet set) {
    DrawLandscape(canvas.Cr(), canvas.Width(), canvas.Height(), PaletteOf(set));
}

void DrawGameInfo(TCanvas& canvas, TGfxSet set) {
    cairo_t* cr = canvas.Cr();
    const double w = canvas.Width();
    const double h = canvas.Height();
    // The info picture is also shown at half size in the info dialog: large, bold text.
    DrawLandscape(cr, w, h, PaletteOf(set));
    TPattern veil = LinearGradient(0, 0, 0, h, {{0, Rgb(0x000000, 0.15)}, {1, Rgb(0x000000, 0.3)}});
    SetSource(cr, veil);
    cairo_paint(cr);

    DrawBrandMark(cr, 100, 48, 150, 56);
    // The title lettering rocks byte by byte, so it carries no umlauts.
    DrawTitleWord(cr, "Vielen Dank!", 368, 112, 48, 0.8);
    StyledText(cr, {"DejaVu Sans", 26, true}, "fürs Spielen von Crumble Rush", 380, 160,
               TAlign::Center, HeadStyle);

    // The plate for the version label, kept plain so "V 1.05" reads on it.
    auto plate = [&](cairo_t* c) {
        RoundedRectPath(c, VersionLabelX - 6, VersionLabelY - 4, VersionLabelW + 12,
                        VersionLabelH + 8, 14);
    };
    SoftShadow(cr, plate, 2, 4, 6, Rgb(0x000000, 0.4));
    cairo_new_path(cr);
    plate(cr);
    SetSource(cr, Rgb(0xFFF8E0));
    cairo_fill_preserve(cr);
    SetSource(cr, Rgb(0xC8180E));
    cairo_set_line_width(cr, 3);
    cairo_stroke(cr);

    const double px = 60, py = 188, pw = 680, ph = 300;
    Panel(cr, px, py, pw, ph, 0.95);
    StyledText(cr, {"DejaVu Sans", 30, true}, "So wird gespielt", px + 24, py + 44, TAlign::Left,
               {Rgb(0xC8180E), Rgb(0xFFFFFF), 0});
    const TFont rowFont{"DejaVu Sans", 22, true};
    const double iconX = px + 44;
    const double textX = px + 84;
    double y = py + 88;
    DrawCrosshair(cr, iconX, y - 7, 16, Rgb(0xC8140C));
    StyledText(cr, rowFont, "Zielen und klicken: Chips und Peperoni treffen", textX, y,
               TAlign::Left, RowStyle);
    y += 48;
    DrawSnackBag(cr, iconX, y - 8, 28, 36);
    StyledText(cr, rowFont, "Mit \u2190 und \u2192 die Tüte schieben, Stücke fangen", textX, y,
               TAlign::Left, RowStyle);
    y += 48;
    DrawChip(cr, iconX - 8, y - 8, 10, 0.4, 701, false);
    DrawPepper(cr, iconX + 10, y - 8, 26, -0.6, false);
    StyledText(cr, rowFont, "Chip 100, Peperoni 200, ganze Welle 1000", textX, y, TAlign::Left,
               RowStyle);
    y += 48;
    DrawStopwatch(cr, iconX, y - 8, 15);
    StyledText(cr, rowFont, "90 Sekunden – hol den Rekord!", textX, y, TAlign::Left, RowStyle);
    y += 50;
    const TExtra extras[] = {TExtra::Explode, TExtra::Turn, TExtra::RapidFire, TExtra::Wide};
    const char* labels[] = {"Explosion", "Tüte verkehrt", "Dauerfeuer", "Doppelbreit"};
    const TFont extraFont{"DejaVu Sans", 17, true};
    double x = px + 40;
    for (int i = 0; i < 4; ++i) {
        ExtraBadge(cr, x, y - 10, 19, extras[i]);
        StyledText(cr, extraFont, labels[i], x + 24, y, TAlign::Left, RowStyle);
        x += 24 + MeasureText(cr, extraFont, labels[i]).x_advance + 28;
    }

    DrawBagTeam(cr, 400, 578, 74, 88, 56);
    StyledText(cr, {"DejaVu Sans", 22, true}, "Klicken oder Esc", 150, 560, TAlign::Center,
               HeadStyle);
    StyledText(cr, {"DejaVu Sans", 22, true, true}, "Korvald – knusprig gut!", 650, 560,
               TAlign::Center, HeadStyle);
}

void WriteGamePictures(const std::filesystem::path& gameDir, int quality) {
    struct TFile {
        const char* Path;
        void (*Draw)(TCanvas&);
    };
    const TFile files[] = {{"gfx/sb/Back.jpg", DrawBackSb},
                           {"gfx/sb/Info.jpg", DrawInfoSb},
                           {"gfx/fb/Back.jpg", DrawBackFb},
                           {"gfx/fb/Info.jpg", DrawInfoFb}};
    for (const TFile& file : files) {
        const std::filesystem::path path = gameDir / file.Path;
        std::filesystem::create_directories(path.parent_path());
        TCanvas canvas(ScreenWidth, ScreenHeight);
        file.Draw(canvas);
        if (cairo_status(canvas.Cr()) != CAIRO_STATUS_SUCCESS)
            throw std::runtime_error(std::string("drawing ") + file.Path + " failed");
        WriteJpeg(canvas.Surface(), path, quality);
    }
}

} // namespace assetgen
