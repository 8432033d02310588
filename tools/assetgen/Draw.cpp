#include "Draw.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

namespace assetgen {

TCanvas::TCanvas(int width, int height)
    : FWidth(width), FHeight(height),
      FSurface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)) {
    if (cairo_surface_status(FSurface.get()) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cannot create a picture of " + std::to_string(width) + " x " +
                                 std::to_string(height));
    FCr.reset(cairo_create(FSurface.get()));
    // Fixed options so the output does not depend on the desktop's font settings.
    TFontOptions options(cairo_font_options_create());
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(FCr.get(), options.get());
    cairo_set_line_join(FCr.get(), CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(FCr.get(), CAIRO_LINE_CAP_ROUND);
}

TColor Mix(const TColor& a, const TColor& b, double t) {
    return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t,
            a.A + (b.A - a.A) * t};
}

static void AddStops(cairo_pattern_t* pattern, std::initializer_list<TStop> stops) {
    for (const TStop& stop : stops)
        cairo_pattern_add_color_stop_rgba(pattern, stop.Offset, stop.Color.R, stop.Color.G,
                                          stop.Color.B, stop.Color.A);
}

TPattern LinearGradient(double x0, double y0, double x1, double y1,
                        std::initializer_list<TStop> stops) {
    TPattern pattern(cairo_pattern_create_linear(x0, y0, x1, y1));
    AddStops(pattern.get(), stops);
    return pattern;
}

TPattern RadialGradient(double cx0, double cy0, double r0, double cx1, double cy1, double r1,
                        std::initializer_list<TStop> stops) {
    TPattern pattern(cairo_pattern_create_radial(cx0, cy0, r0, cx1, cy1, r1));
    AddStops(pattern.get(), stops);
    return pattern;
}

void SetSource(cairo_t* cr, const TColor& color) {
    cairo_set_source_rgba(cr, color.R, color.G, color.B, color.A);
}

void SetSource(cairo_t* cr, const TPattern& pattern) {
    cairo_set_source(cr, pattern.get());
}

void RoundedRectPath(cairo_t* cr, double x, double y, double w, double h, double r) {
    constexpr double pi = std::numbers::pi;
    r = std::min({r, w / 2, h / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -pi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, pi / 2);
    cairo_arc(cr, x + r, y + h - r, r, pi / 2, pi);
    cairo_arc(cr, x + r, y + r, r, pi, 3 * pi / 2);
    cairo_close_path(cr);
}

void EllipsePath(cairo_t* cr, double cx, double cy, double rx, double ry) {
    TSaved saved(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
    cairo_close_path(cr);
}

void StarPath(cairo_t* cr, double cx, double cy, double outer, double inner, int points,
              double angle) {
    cairo_new_sub_path(cr);
    for (int i = 0; i < points * 2; ++i) {
        double r = (i % 2 == 0) ? outer : inner;
        double a = angle + i * std::numbers::pi / points - std::numbers::pi / 2;
        cairo_line_to(cr, cx + r * std::cos(a), cy + r * std::sin(a));
    }
    cairo_close_path(cr);
}

// One box-blur pass over an 8-bit alpha plane, along rows (step 1) or columns (step stride).
static void BoxBlurPass(std::uint8_t* data, int count, int lines, int step, int lineStep,
                        int radius, std::vector<std::uint8_t>& scratch) {
    const int window = 2 * radius + 1;
    scratch.resize(count);
    for (int line = 0; line < lines; ++line) {
        std::uint8_t* p = data + static_cast<std::ptrdiff_t>(line) * lineStep;
        auto at = [&](int i) -> int {
            i = std::clamp(i, 0, count - 1);
            return p[static_cast<std::ptrdiff_t>(i) * step];
        };
        int sum = 0;
        for (int i = -radius; i <= radius; ++i)
            sum += at(i);
        for (int i = 0; i < count; ++i) {
            scratch[i] = static_cast<std::uint8_t>((sum + window / 2) / window);
            sum += at(i + radius + 1) - at(i - radius);
        }
        for (int i = 0; i < count; ++i)
            p[static_cast<std::ptrdiff_t>(i) * step] = scratch[i];
    }
}

void SoftShadow(cairo_t* cr, const TPathBuilder& path, double dx, double dy, int radius,
                const TColor& color) {
    cairo_surface_t* target = cairo_get_target(cr);
    const int width = cairo_image_surface_get_width(target);
    const int height = cairo_image_surface_get_height(target);
    TSurface mask(cairo_image_surface_create(CAIRO_FORMAT_A8, width, height));
    {
        TCairo maskCr(cairo_create(mask.get()));
        cairo_matrix_t matrix;
        cairo_get_matrix(cr, &matrix);
        cairo_set_matrix(maskCr.get(), &matrix);
        TFontOptions options(cairo_font_options_create());
        cairo_get_font_options(cr, options.get());
        cairo_set_font_options(maskCr.get(), options.get());
        path(maskCr.get());
        cairo_set_source_rgba(maskCr.get(), 0, 0, 0, 1);
        cairo_fill(maskCr.get());
    }
    cairo_surface_flush(mask.get());
    if (radius > 0) {
        std::uint8_t* data = cairo_image_surface_get_data(mask.get());
        const int stride = cairo_image_surface_get_stride(mask.get());
        std::vector<std::uint8_t> scratch;
        // Three box passes approximate a gaussian.
        const int passRadius = std::max(1, radius / 2);
        for (int pass = 0; pass < 3; ++pass) {
            BoxBlurPass(data, width, height, 1, stride, passRadius, scratch);
            BoxBlurPass(data, height, width, stride, 1, passRadius, scratch);
        }
    }
    cairo_surface_mark_dirty(mask.get());
    TSaved saved(cr);
    cairo_identity_matrix(cr);
    cairo_reset_clip(cr);
    SetSource(cr, color);
    cairo_mask_surface(cr, mask.get(), dx, dy);
}

void Vignette(cairo_t* cr, double width, double height) {
    TPattern vignette = RadialGradient(width / 2, height / 2, std::min(width, height) * 0.45,
                                       width / 2, height / 2, std::hypot(width, height) * 0.6,
                                       {{0, Rgb(0x5A0A00, 0)}, {1, Rgb(0x5A0A00, 0.35)}});
    SetSource(cr, vignette);
    cairo_paint(cr);
}

void Sunburst(cairo_t* cr, double cx, double cy, double radius, int rays, double angle,
              const TColor& color) {
    TSaved saved(cr);
    const double step = 2 * std::numbers::pi / rays;
    for (int i = 0; i < rays; ++i) {
        double a0 = angle + i * step;
        double a1 = a0 + step / 2;
        cairo_move_to(cr, cx, cy);
        cairo_line_to(cr, cx + radius * std::cos(a0), cy + radius * std::sin(a0));
        cairo_line_to(cr, cx + radius * std::cos(a1), cy + radius * std::sin(a1));
        cairo_close_path(cr);
    }
    // Rays fade out towards the rim.
    TPattern fade = RadialGradient(cx, cy, 0, cx, cy, radius,
                                   {{0, color}, {1, TColor{color.R, color.G, color.B, 0}}});
    SetSource(cr, fade);
    cairo_fill(cr);
}

void SelectFont(cairo_t* cr, const TFont& font) {
    cairo_select_font_face(cr, font.Family,
                           font.Italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           font.Bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font.Size);
}

cairo_text_extents_t MeasureText(cairo_t* cr, const TFont& font, std::string_view text) {
    SelectFont(cr, font);
    std::string copy(text);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, copy.c_str(), &extents);
    return extents;
}

void TextPath(cairo_t* cr, const TFont& font, std::string_view text, double x, double y,
              TAlign align) {
    cairo_text_extents_t extents = MeasureText(cr, font, text);
    if (align == TAlign::Center)
        x -= extents.x_advance / 2;
    else if (align == TAlign::Right)
        x -= extents.x_advance;
    std::string copy(text);
    cairo_move_to(cr, x, y);
    cairo_text_path(cr, copy.c_str());
}

void StyledText(cairo_t* cr, const TFont& font, std::string_view text, double x, double y,
                TAlign align, const TTextStyle& style) {
    auto path = [&](cairo_t* c) { TextPath(c, font, text, x, y, align); };
    if (style.Shadow.A > 0) {
        if (style.OutlineWidth > 0) {
            SoftShadow(
                cr,
                [&](cairo_t* c) {
                    path(c);
                    cairo_set_line_width(c, style.OutlineWidth);
                    cairo_stroke_preserve(c);
                },
                style.ShadowDx, style.ShadowDy, style.ShadowBlur, style.Shadow);
        } else {
            SoftShadow(cr, path, style.ShadowDx, style.ShadowDy, style.ShadowBlur, style.Shadow);
        }
    }
    TSaved saved(cr);
    cairo_new_path(cr);
    path(cr);
    if (style.OutlineWidth > 0) {
        SetSource(cr, style.Outline);
        cairo_set_line_width(cr, style.OutlineWidth);
        cairo_stroke_preserve(cr);
    }
    SetSource(cr, style.Fill);
    cairo_fill(cr);
}

std::uint32_t TRandom::Next() {
    // xorshift32: small, fast and the same everywhere.
    FState ^= FState << 13;
    FState ^= FState >> 17;
    FState ^= FState << 5;
    return FState;
}

double TRandom::Uniform(double lo, double hi) {
    return lo + (hi - lo) * (Next() / 4294967296.0);
}

} // namespace assetgen
