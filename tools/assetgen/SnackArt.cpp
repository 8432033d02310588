#include "SnackArt.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

namespace assetgen {

namespace {

constexpr double Pi = std::numbers::pi;

const TColor ShadowColor = Rgb(0x4A1000, 0.35);
const TColor MascotOutline = Rgb(0x4A2608);

void PepperPath(cairo_t* cr, double length) {
    const double l = length;
    const double w = length * 0.34;
    cairo_move_to(cr, -l * 0.42, -w * 0.5);
    cairo_curve_to(cr, -l * 0.1, -w * 0.62, l * 0.3, -w * 0.35, l * 0.5, w * 0.45);
    cairo_curve_to(cr, l * 0.22, w * 0.2, -l * 0.1, w * 0.58, -l * 0.42, w * 0.5);
    cairo_curve_to(cr, -l * 0.53, w * 0.45, -l * 0.53, -w * 0.45, -l * 0.42, -w * 0.5);
    cairo_close_path(cr);
}

void BagBodyPath(cairo_t* cr, double w, double h) {
    const double top = -h / 2 + h * 0.09;
    const double bottom = h / 2 - h * 0.09;
    cairo_move_to(cr, -w * 0.44, top);
    cairo_curve_to(cr, -w * 0.2, top + h * 0.035, w * 0.2, top + h * 0.035, w * 0.44, top);
    cairo_curve_to(cr, w * 0.57, -h * 0.15, w * 0.57, h * 0.15, w * 0.44, bottom);
    cairo_curve_to(cr, w * 0.2, bottom - h * 0.025, -w * 0.2, bottom - h * 0.025, -w * 0.44,
                   bottom);
    cairo_curve_to(cr, -w * 0.57, h * 0.15, -w * 0.57, -h * 0.15, -w * 0.44, top);
    cairo_close_path(cr);
}

// The sealed, toothed edge of the bag; edgeY is the outer edge, innerY where it meets the body.
void CrimpPath(cairo_t* cr, double w, double edgeY, double innerY) {
    constexpr int teeth = 14;
    const double left = -w * 0.46;
    const double right = w * 0.46;
    const double tooth = (innerY - edgeY) * 0.22;
    cairo_move_to(cr, left, innerY);
    cairo_line_to(cr, left, edgeY + tooth);
    for (int i = 0; i < teeth; ++i) {
        const double x0 = left + (right - left) * i / teeth;
        const double x1 = left + (right - left) * (i + 0.5) / teeth;
        const double x2 = left + (right - left) * (i + 1) / teeth;
        cairo_line_to(cr, x0, edgeY + tooth);
        cairo_line_to(cr, x1, edgeY);
        cairo_line_to(cr, x2, edgeY + tooth);
    }
    cairo_line_to(cr, right, innerY);
    cairo_close_path(cr);
}

void DrawCrimp(cairo_t* cr, double w, double edgeY, double innerY) {
    TSaved saved(cr);
    cairo_new_path(cr);
    CrimpPath(cr, w, edgeY, innerY);
    TPattern fill = BagCrimpGradient(-w / 2, w / 2);
    SetSource(cr, fill);
    cairo_fill_preserve(cr);
    cairo_clip_preserve(cr);
    // The seal's pressed ridges.
    cairo_new_path(cr);
    for (int i = 1; i < 28; ++i) {
        const double x = -w * 0.46 + w * 0.92 * i / 28;
        cairo_move_to(cr, x, std::min(edgeY, innerY));
        cairo_line_to(cr, x, std::max(edgeY, innerY));
    }
    SetSource(cr, Rgb(0x5A0404, 0.35));
    cairo_set_line_width(cr, w * 0.008);
    cairo_stroke(cr);
    cairo_reset_clip(cr);
    CrimpPath(cr, w, edgeY, innerY);
    SetSource(cr, Rgb(0x3E0303));
    cairo_set_line_width(cr, w * 0.02);
    cairo_stroke(cr);
}

} // namespace

void ChipOutlinePath(cairo_t* cr, double size, std::uint32_t seed) {
    TRandom random(seed);
    const double phase3 = random.Uniform(0, 2 * Pi);
    const double phase5 = random.Uniform(0, 2 * Pi);
    const double amp3 = random.Uniform(0.05, 0.09);
    const double amp5 = random.Uniform(0.03, 0.06);
    const double squash = random.Uniform(0.72, 0.86);
    constexpr int points = 96;
    cairo_new_sub_path(cr);
    for (int i = 0; i < points; ++i) {
        const double t = 2 * Pi * i / points;
        const double r =
            size * (1 + amp3 * std::sin(3 * t + phase3) + amp5 * std::sin(5 * t + phase5));
        cairo_line_to(cr, r * std::cos(t), r * squash * std::sin(t));
    }
    cairo_close_path(cr);
}

TPattern ChipFaceGradient(double size) {
    return RadialGradient(
        -size * 0.35, -size * 0.3, 0, 0, 0, size * 1.1,
        {{0, Rgb(0xFFF3B8)}, {0.45, Rgb(0xFFD45A)}, {0.82, Rgb(0xF0A52E)}, {1, Rgb(0xC8701A)}});
}

TRandom DrawChipRidges(cairo_t* cr, double size, std::uint32_t seed) {
    // Pairs of light and dark waves.
    TRandom random(seed ^ 0xC41Bu);
    const double waviness = random.Uniform(5, 8);
    for (int k = -5; k <= 5; ++k) {
        const double baseY = k * size * 0.2;
        for (int layer = 0; layer < 2; ++layer) {
            cairo_new_path(cr);
            const double shift = layer * size * 0.06;
            for (int step = 0; step <= 40; ++step) {
                const double x = -size * 1.2 + size * 2.4 * step / 40;
                const double y = baseY + shift + size * 0.05 * std::sin(x / size * waviness + k);
                cairo_line_to(cr, x, y);
            }
            SetSource(cr, layer == 0 ? Rgb(0xFFF8D8, 0.35) : Rgb(0xB8601A, 0.22));
            cairo_set_line_width(cr, size * 0.05);
            cairo_stroke(cr);
        }
    }
    return random;
}

void DrawChipSpots(cairo_t* cr, double size, TRandom& random, int count) {
    // Toasted spots and paprika specks.
    for (int i = 0; i < count; ++i) {
        const double x = random.Uniform(-0.75, 0.75) * size;
        const double y = random.Uniform(-0.55, 0.55) * size;
        const double r = random.Uniform(0.03, 0.07) * size;
        const bool paprika = (random.Next() % 3) == 0;
        cairo_new_path(cr);
        EllipsePath(cr, x, y, r, r * 0.8);
        SetSource(cr, paprika ? Rgb(0xD23A14, 0.55) : Rgb(0x9A4A14, 0.4));
        cairo_fill(cr);
    }
}

void DrawChip(cairo_t* cr, double cx, double cy, double size, double angle, std::uint32_t seed,
              bool shadow) {
    TSaved saved(cr);
    cairo_new_path(cr);
    cairo_translate(cr, cx, cy);
    cairo_rotate(cr, angle);
    auto path = [&](cairo_t* c) { ChipOutlinePath(c, size, seed); };
    if (shadow)
        SoftShadow(cr, path, size * 0.12, size * 0.2, std::max(2, static_cast<int>(size * 0.25)),
                   ShadowColor);

    path(cr);
    TPattern fill = ChipFaceGradient(size);
    SetSource(cr, fill);
    cairo_fill_preserve(cr);
    {
        TSaved clipped(cr);
        cairo_clip(cr);
        TRandom random = DrawChipRidges(cr, size, seed);
        DrawChipSpots(cr, size, random, 5 + static_cast<int>(random.Next() % 5));
    }
    cairo_new_path(cr);
    path(cr);
    SetSource(cr, ChipOutline);
    cairo_set_line_width(cr, std::max(1.0, size * 0.07));
    cairo_stroke(cr);
    // A shine along the upper rim.
    {
        TSaved shine(cr);
        cairo_scale(cr, 1, 0.78);
        cairo_new_path(cr);
        cairo_arc(cr, 0, 0, size * 0.72, Pi * 1.12, Pi * 1.45);
        SetSource(cr, Rgb(0xFFFFFF, 0.6));
        cairo_set_line_width(cr, size * 0.07);
        cairo_stroke(cr);
    }
}

void StrokePepperStem(cairo_t* cr, double width, double coreWidth) {
    SetSource(cr, Rgb(0x1B4A06));
    cairo_set_line_width(cr, width);
    cairo_stroke_preserve(cr);
    SetSource(cr, Rgb(0x5DB31E));
    cairo_set_line_width(cr, coreWidth);
    cairo_stroke(cr);
}

void DrawPepper(cairo_t* cr, double cx, double cy, double length, double angle, bool shadow) {
    TSaved saved(cr);
    cairo_new_path(cr);
    cairo_translate(cr, cx, cy);
    cairo_rotate(cr, angle);
    const double l = length;
    const double w = length * 0.34;
    auto path = [&](cairo_t* c) { PepperPath(c, l); };
    if (shadow)
        SoftShadow(cr, path, l * 0.05, l * 0.09, std::max(2, static_cast<int>(l * 0.1)),
                   ShadowColor);

    path(cr);
    TPattern fill = LinearGradient(
        0, -w * 0.55, 0, w * 0.55,
        {{0, Rgb(0xFF7A50)}, {0.3, Rgb(0xEE2A12)}, {0.75, Rgb(0xB8120A)}, {1, Rgb(0x7A0805)}});
    SetSource(cr, fill);
    cairo_fill_preserve(cr);
    SetSource(cr, Rgb(0x4A0603));
    cairo_set_line_width(cr, std::max(1.0, l * 0.035));
    cairo_stroke(cr);

    cairo_move_to(cr, -l * 0.32, -w * 0.3);
    cairo_curve_to(cr, -l * 0.1, -w * 0.4, l * 0.15, -w * 0.22, l * 0.3, -w * 0.0);
    SetSource(cr, Rgb(0xFFFFFF, 0.65));
    cairo_set_line_width(cr, l * 0.045);
    cairo_stroke(cr);

    // Stem, then the green cap over the shoulder.
    cairo_move_to(cr, -l * 0.47, 0);
    cairo_curve_to(cr, -l * 0.58, -w * 0.02, -l * 0.63, -w * 0.35, -l * 0.56, -w * 0.62);
    StrokePepperStem(cr, l * 0.075, l * 0.04);

    cairo_new_path(cr);
    cairo_move_to(cr, -l * 0.47, -w * 0.5);
    cairo_curve_to(cr, -l * 0.36, -w * 0.42, -l * 0.4, -w * 0.1, -l * 0.3, 0);
    cairo_curve_to(cr, -l * 0.4, w * 0.1, -l * 0.36, w * 0.42, -l * 0.47, w * 0.5);
    cairo_curve_to(cr, -l * 0.54, w * 0.3, -l * 0.54, -w * 0.3, -l * 0.47, -w * 0.5);
    cairo_close_path(cr);
    TPattern cap = LinearGradient(0, -w / 2, 0, w / 2,
                                  {{0, Rgb(0x9BE84A)}, {0.5, Rgb(0x4DA818)}, {1, Rgb(0x23640A)}});
    SetSource(cr, cap);
    cairo_fill_preserve(cr);
    SetSource(cr, Rgb(0x163C05));
    cairo_set_line_width(cr, std::max(1.0, l * 0.03));
    cairo_stroke(cr);
}

TPattern BagFoilGradient(double x0, double x1) {
    return LinearGradient(x0, 0, x1, 0,
                          {{0, Rgb(0x8A0808)},
                           {0.22, Rgb(0xDA2218)},
                           {0.45, Rgb(0xF64A2C)},
                           {0.8, Rgb(0xC4140E)},
                           {1, Rgb(0x6E0505)}});
}

TPattern BagCrimpGradient(double x0, double x1) {
    return LinearGradient(
        x0, 0, x1, 0,
        {{0, Rgb(0x8E0A08)}, {0.3, Rgb(0xD8261A)}, {0.55, Rgb(0xF25A40)}, {1, Rgb(0x8E0A08)}});
}

TPattern BagGlossGradient(double x0, double x1) {
    return LinearGradient(
        x0, 0, x1, 0, {{0, Rgb(0xFFFFFF, 0)}, {0.5, Rgb(0xFFFFFF, 0.38)}, {1, Rgb(0xFFFFFF, 0)}});
}

void DrawSnackBag(cairo_t* cr, double cx, double cy, double width, double height) {
    TSaved saved(cr);
    cairo_new_path(cr);
    cairo_translate(cr, cx, cy);
    const double w = width;
    const double h = height;
    auto body = [&](cairo_t* c) {
        BagBodyPath(c, w, h);
        CrimpPath(c, w, -h / 2, -h / 2 + h * 0.1);
        CrimpPath(c, w, h / 2, h / 2 - h * 0.1);
    };
    SoftShadow(cr, body, w * 0.05, h * 0.04, std::max(3, static_cast<int>(w * 0.06)),
               Rgb(0x3A0800, 0.45));

    DrawCrimp(cr, w, -h / 2, -h / 2 + h * 0.11);
    DrawCrimp(cr, w, h / 2, h / 2 - h * 0.11);

    cairo_new_path(cr);
    BagBodyPath(cr, w, h);
    TPattern fill = BagFoilGradient(-w / 2, w / 2);
    SetSource(cr, fill);
    cairo_fill_preserve(cr);
    {
        TSaved clipped(cr);
        cairo_clip(cr);
        // Glossy foil: a soft vertical band of light.
        cairo_new_path(cr);
        cairo_rectangle(cr, -w * 0.34, -h / 2, w * 0.16, h);
        TPattern gloss = BagGlossGradient(-w * 0.34, -w * 0.18);
        SetSource(cr, gloss);
        cairo_fill(cr);
        // Creases of the foil.
        cairo_new_path(cr);
        cairo_move_to(cr, w * 0.3, -h * 0.38);
        cairo_curve_to(cr, w * 0.36, -h * 0.1, w * 0.34, h * 0.15, w * 0.3, h * 0.38);
        SetSource(cr, Rgb(0x5A0404, 0.3));
        cairo_set_line_width(cr, w * 0.02);
        cairo_stroke(cr);
        // Chips tumbling out of the printed bowl.
        DrawChip(cr, -w * 0.13, h * 0.2, w * 0.15, -0.4, 11, false);
        DrawChip(cr, w * 0.14, h * 0.22, w * 0.14, 0.5, 12, false);
        DrawChip(cr, 0, h * 0.14, w * 0.16, 0.1, 13, false);
        DrawPepper(cr, w * 0.02, h * 0.31, w * 0.34, -0.15, false);
    }
    cairo_new_path(cr);
    BagBodyPath(cr, w, h);
    SetSource(cr, Rgb(0x3E0303));
    cairo_set_line_width(cr, std::max(1.2, w * 0.022));
    cairo_stroke(cr);

    DrawBrandMark(cr, 0, -h * 0.12, w * 0.74, h * 0.2);
}

void DrawWarmBackdrop(cairo_t* cr, double width, double height, double sunX, double sunY) {
    TPattern sky = LinearGradient(
        0, 0, 0, height,
        {{0, Rgb(0xFFE47E)}, {0.4, Rgb(0xFFAE40)}, {0.75, Rgb(0xFF7A2A)}, {1, Rgb(0xE5401C)}});
    SetSource(cr, sky);
    cairo_paint(cr);
    Sunburst(cr, sunX, sunY, std::hypot(width, height), 22, 0.1, Rgb(0xFFFFFF, 0.3));
    TPattern glow = RadialGradient(sunX, sunY, 0, sunX, sunY, height * 0.45,
                                   {{0, Rgb(0xFFFDE8, 0.75)}, {1, Rgb(0xFFFDE8, 0)}});
    SetSource(cr, glow);
    cairo_paint(cr);
}

namespace {

// The cap's colour, lit from above; the shoes match it.
TPattern CapGradient(const TColor& cap, double top, double bottom) {
    return LinearGradient(0, top, 0, bottom, {{0, Mix(cap, Rgb(0xFFFFFF), 0.35)}, {1, cap}});
}

// The cap with its brim pointing ahead, at the head's origin; leaves the line width at the cap's.
void MascotCap(cairo_t* cr, double s, const TColor& capColor) {
    cairo_new_path(cr);
    cairo_move_to(cr, -s * 0.3, -s * 0.22);
    cairo_curve_to(cr, -s * 0.3, -s * 0.52, s * 0.28, -s * 0.52, s * 0.27, -s * 0.2);
    cairo_curve_to(cr, s * 0.1, -s * 0.26, -s * 0.12, -s * 0.26, -s * 0.3, -s * 0.22);
    cairo_close_path(cr);
    TPattern capFill = CapGradient(capColor, -s * 0.45, -s * 0.2);
    SetSource(cr, capFill);
    cairo_fill_preserve(cr);
    SetSource(cr, MascotOutline);
    cairo_set_line_width(cr, s * 0.025);
    cairo_stroke(cr);
    cairo_new_path(cr);
    cairo_move_to(cr, s * 0.12, -s * 0.23);
    cairo_curve_to(cr, s * 0.3, -s * 0.27, s * 0.44, -s * 0.22, s * 0.46, -s * 0.17);
    cairo_curve_to(cr, s * 0.38, -s * 0.15, s * 0.25, -s * 0.16, s * 0.14, -s * 0.17);
    cairo_close_path(cr);
    SetSource(cr, Mix(capColor, Rgb(0x000000), 0.25));
    cairo_fill_preserve(cr);
    SetSource(cr, MascotOutline);
    cairo_stroke(cr);
    cairo_new_path(cr);
    EllipsePath(cr, -s * 0.01, -s * 0.43, s * 0.035, s * 0.02);
    SetSource(cr, Rgb(0xFFFFFF));
    cairo_fill(cr);
}

void StrokeLimb(cairo_t* cr, double s, double x0, double y0, double x1, double y1, double bend) {
    const double mx = (x0 + x1) / 2 + bend * (y1 - y0) * 0.3;
    const double my = (y0 + y1) / 2 - bend * (x1 - x0) * 0.3;
    cairo_new_path(cr);
    cairo_move_to(cr, x0 * s, y0 * s);
    cairo_curve_to(cr, mx * s, my * s, mx * s, my * s, x1 * s, y1 * s);
    SetSource(cr, MascotOutline);
    cairo_set_line_width(cr, s * 0.085);
    cairo_stroke_preserve(cr);
    SetSource(cr, Rgb(0x8C5220));
    cairo_set_line_width(cr, s * 0.045);
    cairo_stroke(cr);
}

void Glove(cairo_t* cr, double s, double x, double y) {
    cairo_new_path(cr);
    EllipsePath(cr, x * s, y * s, s * 0.075, s * 0.085);
    TPattern fill = RadialGradient(x * s - s * 0.03, y * s - s * 0.03, 0, x * s, y * s, s * 0.09,
                                   {{0, Rgb(0xFFFFFF)}, {1, Rgb(0xDCDCE6)}});
    SetSource(cr, fill);
    cairo_fill_preserve(cr);
    SetSource(cr, MascotOutline);
    cairo_set_line_width(cr, s * 0.022);
    cairo_stroke(cr);
}

void Shoe(cairo_t* cr, double s, double x, double y, const TColor& cap) {
    cairo_new_path(cr);
    EllipsePath(cr, (x + 0.05) * s, y * s, s * 0.1, s * 0.055);
    TPattern shoe = CapGradient(cap, (y - 0.05) * s, (y + 0.05) * s);
    SetSource(cr, shoe);
    cairo_fill_preserve(cr);
    SetSource(cr, MascotOutline);
    cairo_set_line_width(cr, s * 0.022);
    cairo_stroke(cr);
}

// The potato itself, stretched tall by sy, with the eyes of a potato on its skin.
void MascotSkin(cairo_t* cr, double s, double sy) {
    auto bodyPath = [&](cairo_t* c) {
        cairo_new_sub_path(c);
        for (int i = 0; i < 72; ++i) {
            const double t = 2 * Pi * i / 72;
            const double r = 1 + 0.04 * std::sin(3 * t + 1.0) + 0.025 * std::sin(5 * t);
            cairo_line_to(c, s * 0.34 * r * std::cos(t) / std::sqrt(sy),
                          s * 0.42 * sy * r * std::sin(t));
        }
        cairo_close_path(c);
    };
    cairo_new_path(cr);
    bodyPath(cr);
    TPattern skin = RadialGradient(
        -s * 0.1, -s * 0.16, s * 0.02, 0, 0, s * 0.48,
        {{0, Rgb(0xFBE1A0)}, {0.5, Rgb(0xE2AE56)}, {0.85, Rgb(0xB87A30)}, {1, Rgb(0x8C5420)}});
    SetSource(cr, skin);
    cairo_fill_preserve(cr);
    SetSource(cr, MascotOutline);
    cairo_set_line_width(cr, s * 0.03);
    cairo_stroke(cr);
    for (auto [px, py] : {std::pair{-0.2, 0.15}, std::pair{-0.12, 0.3}, std::pair{0.05, 0.26},
                          std::pair{-0.24, -0.05}}) {
        cairo_new_path(cr);
        EllipsePath(cr, s * px, s * py * sy, s * 0.022, s * 0.015);
        SetSource(cr, Rgb(0x7A4418, 0.6));
        cairo_fill(cr);
    }
}

void MascotEyes(cairo_t* cr, double s, const TPose& pose) {
    for (double ex : {s * 0.08, s * 0.22}) {
        const double ey = -s * 0.085;
        if (pose.Blink) {
            cairo_new_path(cr);
            cairo_move_to(cr, ex - s * 0.05, ey + s * 0.01);
            cairo_curve_to(cr, ex - s * 0.02, ey + s * 0.04, ex + s * 0.02, ey + s * 0.04,
                           ex + s * 0.05, ey + s * 0.01);
            SetSource(cr, MascotOutline);
            cairo_set_line_width(cr, s * 0.02);
            cairo_stroke(cr);
            continue;
        }
        cairo_new_path(cr);
        EllipsePath(cr, ex, ey, s * 0.06, s * 0.08);
        SetSource(cr, Rgb(0xFFFFFF));
        cairo_fill_preserve(cr);
        SetSource(cr, MascotOutline);
        cairo_set_line_width(cr, s * 0.015);
        cairo_stroke(cr);
        cairo_new_path(cr);
        EllipsePath(cr, ex + s * pose.LookX, ey + s * 0.01, s * 0.03, s * 0.04);
        SetSource(cr, Rgb(0x1A0E05));
        cairo_fill(cr);
        cairo_new_path(cr);
        EllipsePath(cr, ex + s * (pose.LookX + 0.008), ey - s * 0.005, s * 0.011, s * 0.011);
        SetSource(cr, Rgb(0xFFFFFF));
        cairo_fill(cr);
    }
}

// Determined brows; their inner ends rise when the mouth opens.
void MascotBrows(cairo_t* cr, double s, bool openMouth) {
    cairo_new_path(cr);
    cairo_move_to(cr, s * 0.03, -s * 0.2);
    cairo_line_to(cr, s * 0.13, -s * (openMouth ? 0.2 : 0.17));
    cairo_move_to(cr, s * 0.19, -s * (openMouth ? 0.2 : 0.17));
    cairo_line_to(cr, s * 0.28, -s * 0.19);
    SetSource(cr, MascotOutline);
    cairo_set_line_width(cr, s * 0.025);
    cairo_stroke(cr);
}

void MascotCheeks(cairo_t* cr, double s) {
    for (double cheekX : {s * 0.02, s * 0.29}) {
        cairo_new_path(cr);
        EllipsePath(cr, cheekX, s * 0.03, s * 0.045, s * 0.03);
        SetSource(cr, Rgb(0xFF6A5A, 0.45));
        cairo_fill(cr);
    }
}

// A wide grin, or a mouth open in effort.
void MascotMouth(cairo_t* cr, double s, bool openMouth) {
    cairo_new_path(cr);
    if (openMouth) {
        EllipsePath(cr, s * 0.17, s * 0.08, s * 0.08, s * 0.065);
    } else {
        cairo_move_to(cr, s * 0.06, s * 0.04);
        cairo_curve_to(cr, s * 0.1, s * 0.16, s * 0.24, s * 0.16, s * 0.28, s * 0.03);
        cairo_curve_to(cr, s * 0.2, s * 0.07, s * 0.13, s * 0.07, s * 0.06, s * 0.04);
        cairo_close_path(cr);
    }
    SetSource(cr, Rgb(0x7A1408));
    cairo_fill_preserve(cr);
    SetSource(cr, MascotOutline);
    cairo_set_line_width(cr, s * 0.02);
    cairo_stroke(cr);
    cairo_new_path(cr);
    EllipsePath(cr, s * 0.17, s * (openMouth ? 0.115 : 0.11), s * 0.045, s * 0.022);
    SetSource(cr, Rgb(0xFF6A6A));
    cairo_fill(cr);
}

void MascotBody(cairo_t* cr, double s, const TColor& cap, const TPose& pose) {
    const double sy = 1 + pose.Stretch;
    MascotSkin(cr, s, sy);
    TSaved head(cr);
    cairo_translate(cr, 0, -s * 0.42 * (sy - 1));
    MascotCap(cr, s, cap);
    MascotEyes(cr, s, pose);
    MascotBrows(cr, s, pose.OpenMouth);
    MascotCheeks(cr, s);
    MascotMouth(cr, s, pose.OpenMouth);
}

} // namespace

void DrawPosedMascot(cairo_t* cr, double x, double groundY, double s, bool facingRight,
                     const TColor& cap, const TPose& pose) {
    TSaved saved(cr);
    cairo_translate(cr, x, groundY);
    if (!facingRight) cairo_scale(cr, -1, 1);
    const double bodyY = -0.62 - pose.Lift;
    const double hipY = -0.3 - pose.Lift;
    const double shoulderY = bodyY + 0.2 - pose.Stretch * 0.3;

    StrokeLimb(cr, s, -0.08, hipY, pose.BackFootX, -0.06 - pose.BackFootLift, 0.3);
    Shoe(cr, s, pose.BackFootX, -0.05 - pose.BackFootLift, cap);
    StrokeLimb(cr, s, 0.06, hipY, pose.FrontFootX, -0.06 - pose.FrontFootLift, -0.3);
    Shoe(cr, s, pose.FrontFootX, -0.05 - pose.FrontFootLift, cap);

    // A raised arm grows from the side of the body, so it never crosses the face.
    auto raised = [](double handY) { return std::clamp((-handY - 0.5) / 0.4, 0.0, 1.0); };
    const double farUp = raised(pose.FarHandY), nearUp = raised(pose.NearHandY);
    StrokeLimb(cr, s, -0.02 - 0.24 * farUp, shoulderY - 0.08 + (bodyY + 0.1 - shoulderY) * farUp,
               pose.FarHandX, pose.FarHandY - pose.Lift, 0.4 - 0.6 * farUp);
    Glove(cr, s, pose.FarHandX, pose.FarHandY - pose.Lift);
    {
        TSaved body(cr);
        cairo_translate(cr, 0, bodyY * s);
        cairo_rotate(cr, pose.Lean);
        MascotBody(cr, s, cap, pose);
    }
    StrokeLimb(cr, s, 0.1 + 0.2 * nearUp, shoulderY + (bodyY + 0.06 - shoulderY) * nearUp,
               pose.NearHandX, pose.NearHandY - pose.Lift, -0.4 + 0.6 * nearUp);
    Glove(cr, s, pose.NearHandX, pose.NearHandY - pose.Lift);
}

double MascotReach(double size) {
    return size * 0.6;
}

void DrawMascot(cairo_t* cr, double x, double groundY, double size, bool facingRight,
                const TColor& capColor) {
    {
        TSaved saved(cr);
        cairo_translate(cr, x, groundY);
        if (!facingRight) cairo_scale(cr, -1, 1);
        cairo_new_path(cr);
        EllipsePath(cr, -size * 0.05, -size * 0.015, size * 0.36, size * 0.05);
        SetSource(cr, Rgb(0x3A0800, 0.3));
        cairo_fill(cr);
    }
    // Legs braced and both gloves flat on the bag, MascotReach(size) ahead.
    TPose pushing;
    pushing.Lean = 0.14;
    pushing.BackFootX = -0.3;
    pushing.NearHandX = 0.56;
    pushing.NearHandY = -0.41;
    pushing.FarHandX = 0.54;
    DrawPosedMascot(cr, x, groundY, size, facingRight, capColor, pushing);
}

void DrawBagTeam(cairo_t* cr, double cx, double groundY, double bagW, double bagH,
                 double mascotSize) {
    const double reach = MascotReach(mascotSize);
    DrawMascot(cr, cx - bagW * 0.5 - reach + mascotSize * 0.03, groundY, mascotSize, true,
               Rgb(0x2A7AD8));
    DrawMascot(cr, cx + bagW * 0.5 + reach - mascotSize * 0.03, groundY, mascotSize, false,
               Rgb(0x3AA020));
    DrawSnackBag(cr, cx, groundY - bagH / 2 - bagH * 0.02, bagW, bagH);
}

void DrawTitleWord(cairo_t* cr, std::string_view text, double cx, double baseline, double size,
                   double wobble) {
    const TFont font{"DejaVu Sans", size, true};
    const double spacing = -size * 0.03;
    double total = 0;
    for (char letter : text)
        total += MeasureText(cr, font, std::string(1, letter)).x_advance + spacing;
    total -= spacing;

    auto path = [&](cairo_t* c) {
        double x = cx - total / 2;
        SelectFont(c, font);
        for (std::size_t i = 0; i < text.size(); ++i) {
            const std::string letter(1, text[i]);
            cairo_text_extents_t extents;
            cairo_text_extents(c, letter.c_str(), &extents);
            const double advance = extents.x_advance;
            const double angle = wobble * ((i % 2 == 0) ? -0.07 : 0.06);
            const double lift = wobble * size * 0.05 * std::sin(static_cast<double>(i) * 1.9);
            TSaved letterState(c);
            cairo_translate(c, x + advance / 2, baseline - size * 0.35 + lift);
            cairo_rotate(c, angle);
            cairo_move_to(c, -advance / 2, size * 0.35);
            cairo_text_path(c, letter.c_str());
            x += advance + spacing;
        }
    };
    auto rim = [&](double width) {
        return [&, width](cairo_t* c) {
            path(c);
            cairo_set_line_width(c, width);
            cairo_stroke_preserve(c);
        };
    };
    SoftShadow(cr, rim(size * 0.24), size * 0.04, size * 0.08,
               std::max(2, static_cast<int>(size * 0.1)), Rgb(0x3A0800, 0.55));

    TSaved saved(cr);
    cairo_new_path(cr);
    path(cr);
    SetSource(cr, Rgb(0xFFF6E0));
    cairo_set_line_width(cr, size * 0.22);
    cairo_stroke_preserve(cr);
    SetSource(cr, Rgb(0x5A1400));
    cairo_set_line_width(cr, size * 0.11);
    cairo_stroke_preserve(cr);
    TPattern fill = LinearGradient(0, baseline - size * 0.78, 0, baseline,
                                   {{0, Rgb(0xFFF7A8)}, {0.45, Rgb(0xFFCB26)}, {1, Rgb(0xFF6A08)}});
    SetSource(cr, fill);
    cairo_fill_preserve(cr);
    cairo_clip(cr);
    // Gloss over the upper half of the letters.
    cairo_new_path(cr);
    cairo_move_to(cr, cx - total, baseline - size);
    cairo_line_to(cr, cx + total, baseline - size);
    cairo_line_to(cr, cx + total, baseline - size * 0.45);
    cairo_curve_to(cr, cx + total / 3, baseline - size * 0.38, cx - total / 3,
                   baseline - size * 0.5, cx - total, baseline - size * 0.42);
    cairo_close_path(cr);
    TPattern gloss = LinearGradient(0, baseline - size * 0.8, 0, baseline - size * 0.4,
                                    {{0, Rgb(0xFFFFFF, 0.7)}, {1, Rgb(0xFFFFFF, 0.1)}});
    SetSource(cr, gloss);
    cairo_fill(cr);
}

void DrawBrandMark(cairo_t* cr, double cx, double cy, double width, double height) {
    TSaved saved(cr);
    auto oval = [&](cairo_t* c) { EllipsePath(c, cx, cy, width / 2, height / 2); };
    SoftShadow(cr, oval, width * 0.02, height * 0.08, std::max(2, static_cast<int>(height * 0.12)),
               Rgb(0x3A0800, 0.4));
    cairo_new_path(cr);
    oval(cr);
    SetSource(cr, Rgb(0xFFD21E));
    cairo_fill(cr);
    cairo_new_path(cr);
    EllipsePath(cr, cx, cy, width / 2 - height * 0.09, height / 2 - height * 0.09);
    TPattern inner =
        LinearGradient(0, cy - height / 2, 0, cy + height / 2,
                       {{0, Rgb(0xF0402A)}, {0.55, Rgb(0xC8140C)}, {1, Rgb(0x8A0606)}});
    SetSource(cr, inner);
    cairo_fill(cr);
    cairo_new_path(cr);
    oval(cr);
    SetSource(cr, Rgb(0x5A0A02));
    cairo_set_line_width(cr, std::max(1.0, height * 0.05));
    cairo_stroke(cr);

    // The name fits the oval whatever its proportions.
    TFont font{"DejaVu Sans", height * 0.5, true, true};
    const double natural = MeasureText(cr, font, "Korvald").x_advance;
    font.Size = std::min(font.Size, font.Size * width * 0.72 / natural);
    StyledText(cr, font, "Korvald", cx, cy + font.Size * 0.36, TAlign::Center,
               {Rgb(0xFFFFFF), Rgb(0x5A0A02), std::max(1.0, font.Size * 0.14)});
    // A small swoosh under the name.
    cairo_new_path(cr);
    cairo_move_to(cr, cx - width * 0.28, cy + height * 0.3);
    cairo_curve_to(cr, cx - width * 0.05, cy + height * 0.4, cx + width * 0.15, cy + height * 0.36,
                   cx + width * 0.3, cy + height * 0.24);
    SetSource(cr, Rgb(0xFFD21E));
    cairo_set_line_width(cr, std::max(1.0, height * 0.06));
    cairo_stroke(cr);
}

void DrawGlossyButton(cairo_t* cr, double x, double y, double w, double h, std::string_view label,
                      const TButtonColors& colors) {
    TSaved saved(cr);
    const double r = h * 0.34;
    auto outer = [&](cairo_t* c) { RoundedRectPath(c, x, y, w, h, r); };
    SoftShadow(cr, outer, 2, 4, 5, Rgb(0x2A0600, 0.55));

    cairo_new_path(cr);
    outer(cr);
    SetSource(cr, colors.Outline);
    cairo_fill(cr);

    cairo_new_path(cr);
    RoundedRectPath(cr, x + 2.5, y + 2.5, w - 5, h - 5, r - 2.5);
    TPattern face =
        LinearGradient(0, y, 0, y + h, {{0, colors.Light}, {0.5, colors.Base}, {1, colors.Dark}});
    SetSource(cr, face);
    cairo_fill_preserve(cr);
    {
        TSaved clipped(cr);
        cairo_clip(cr);
        // Light bouncing back from below.
        cairo_new_path(cr);
        EllipsePath(cr, x + w / 2, y + h, w * 0.4, h * 0.3);
        TPattern bounce =
            RadialGradient(x + w / 2, y + h, 0, x + w / 2, y + h, w * 0.4,
                           {{0, Mix(colors.Light, Rgb(0xFFFFFF), 0.3)},
                            {1, TColor{colors.Light.R, colors.Light.G, colors.Light.B, 0}}});
        SetSource(cr, bounce);
        cairo_fill(cr);
    }
    cairo_new_path(cr);
    RoundedRectPath(cr, x + 6, y + 4.5, w - 12, h * 0.42, r - 5);
    TPattern gloss = LinearGradient(0, y + 4.5, 0, y + 4.5 + h * 0.42,
                                    {{0, Rgb(0xFFFFFF, 0.8)}, {1, Rgb(0xFFFFFF, 0.12)}});
    SetSource(cr, gloss);
    cairo_fill(cr);

    TFont font{"DejaVu Sans", h * 0.42, true};
    const double natural = MeasureText(cr, font, label).x_advance;
    font.Size = std::min(font.Size, font.Size * (w - 22) / natural);
    const double capHeight = MeasureText(cr, font, "H").height;
    StyledText(cr, font, label, x + w / 2, y + h / 2 + capHeight / 2 + 1, TAlign::Center,
               {Rgb(0xFFFFFF), colors.Outline, font.Size * 0.16, Rgb(0x000000, 0.45), 1, 2, 2});
}

void DrawCrosshair(cairo_t* cr, double cx, double cy, double radius, const TColor& color) {
    TSaved saved(cr);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, radius * 0.7, 0, 2 * Pi);
    cairo_move_to(cr, cx - radius, cy);
    cairo_line_to(cr, cx - radius * 0.35, cy);
    cairo_move_to(cr, cx + radius * 0.35, cy);
    cairo_line_to(cr, cx + radius, cy);
    cairo_move_to(cr, cx, cy - radius);
    cairo_line_to(cr, cx, cy - radius * 0.35);
    cairo_move_to(cr, cx, cy + radius * 0.35);
    cairo_line_to(cr, cx, cy + radius);
    SetSource(cr, color);
    cairo_set_line_width(cr, std::max(1.5, radius * 0.18));
    cairo_stroke(cr);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, radius * 0.12, 0, 2 * Pi);
    cairo_fill(cr);
}

void DrawStopwatch(cairo_t* cr, double cx, double cy, double radius) {
    TSaved saved(cr);
    const TColor outline = Rgb(0x4A1A05);
    cairo_new_path(cr);
    cairo_rectangle(cr, cx - radius * 0.22, cy - radius * 1.32, radius * 0.44, radius * 0.3);
    SetSource(cr, outline);
    cairo_fill(cr);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, radius, 0, 2 * Pi);
    TPattern rim =
        LinearGradient(0, cy - radius, 0, cy + radius, {{0, Rgb(0xFF7A50)}, {1, Rgb(0xB8120A)}});
    SetSource(cr, rim);
    cairo_fill_preserve(cr);
    SetSource(cr, outline);
    cairo_set_line_width(cr, std::max(1.0, radius * 0.12));
    cairo_stroke(cr);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, radius * 0.72, 0, 2 * Pi);
    SetSource(cr, Rgb(0xFFFFFF));
    cairo_fill(cr);
    cairo_new_path(cr);
    cairo_move_to(cr, cx, cy);
    cairo_line_to(cr, cx, cy - radius * 0.55);
    cairo_move_to(cr, cx, cy);
    cairo_line_to(cr, cx + radius * 0.4, cy + radius * 0.1);
    SetSource(cr, outline);
    cairo_set_line_width(cr, std::max(1.0, radius * 0.14));
    cairo_stroke(cr);
}

} // namespace assetgen
