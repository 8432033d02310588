// A small drawing toolkit over cairo: owners for cairo handles, colours, gradients, paths,
// soft shadows, text and a seeded random source, shared by every picture the generator draws.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string_view>

namespace assetgen {

struct TCairoDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
    void operator()(cairo_pattern_t* pattern) const { cairo_pattern_destroy(pattern); }
    void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
};

using TCairo = std::unique_ptr<cairo_t, TCairoDeleter>;
using TSurface = std::unique_ptr<cairo_surface_t, TCairoDeleter>;
using TPattern = std::unique_ptr<cairo_pattern_t, TCairoDeleter>;
using TFontOptions = std::unique_ptr<cairo_font_options_t, TCairoDeleter>;

// An ARGB32 picture with its drawing context.
class TCanvas {
  public:
    TCanvas(int width, int height);

    cairo_t* Cr() const { return FCr.get(); }
    cairo_surface_t* Surface() const { return FSurface.get(); }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }

  private:
    int FWidth;
    int FHeight;
    TSurface FSurface;
    TCairo FCr;
};

// Keeps the context's state (transform, source, clip) for one scope.
class TSaved {
  public:
    explicit TSaved(cairo_t* cr) : FCr(cr) { cairo_save(FCr); }
    ~TSaved() { cairo_restore(FCr); }
    TSaved(const TSaved&) = delete;
    TSaved& operator=(const TSaved&) = delete;

  private:
    cairo_t* FCr;
};

struct TColor {
    double R = 0;
    double G = 0;
    double B = 0;
    double A = 1;
};

// 0xRRGGBB with an optional opacity.
constexpr TColor Rgb(std::uint32_t rgb, double alpha = 1.0) {
    return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, alpha};
}

TColor Mix(const TColor& a, const TColor& b, double t);

struct TStop {
    double Offset;
    TColor Color;
};

TPattern LinearGradient(double x0, double y0, double x1, double y1,
                        std::initializer_list<TStop> stops);
TPattern RadialGradient(double cx0, double cy0, double r0, double cx1, double cy1, double r1,
                        std::initializer_list<TStop> stops);

void SetSource(cairo_t* cr, const TColor& color);
void SetSource(cairo_t* cr, const TPattern& pattern);

// Paths (they only add to the current path).
void RoundedRectPath(cairo_t* cr, double x, double y, double w, double h, double r);
void EllipsePath(cairo_t* cr, double cx, double cy, double rx, double ry);
void StarPath(cairo_t* cr, double cx, double cy, double outer, double inner, int points,
              double angle);

using TPathBuilder = std::function<void(cairo_t*)>;

// A blurred copy of the filled path, offset in device pixels, painted under what follows.
void SoftShadow(cairo_t* cr, const TPathBuilder& path, double dx, double dy, int radius,
                const TColor& color);

// A soft glow: the path's blurred shape without offset.
inline void Glow(cairo_t* cr, const TPathBuilder& path, int radius, const TColor& color) {
    SoftShadow(cr, path, 0, 0, radius, color);
}

// Darkens the edges of a picture of width x height towards a warm brown.
void Vignette(cairo_t* cr, double width, double height);

// Rays from a centre, alternating over what is already painted.
void Sunburst(cairo_t* cr, double cx, double cy, double radius, int rays, double angle,
              const TColor& color);

struct TFont {
    const char* Family = "Liberation Sans";
    double Size = 12;
    bool Bold = false;
    bool Italic = false;
};

void SelectFont(cairo_t* cr, const TFont& font);
cairo_text_extents_t MeasureText(cairo_t* cr, const TFont& font, std::string_view text);

enum class TAlign { Left, Center, Right };

// Adds the outline of a text to the path; y is the baseline.
void TextPath(cairo_t* cr, const TFont& font, std::string_view text, double x, double y,
              TAlign align = TAlign::Left);

struct TTextStyle {
    TColor Fill = Rgb(0xFFFFFF);
    TColor Outline = Rgb(0x000000);
    double OutlineWidth = 0;
    TColor Shadow = Rgb(0x000000, 0.0);
    double ShadowDx = 0;
    double ShadowDy = 0;
    int ShadowBlur = 0;
};

// Text with optional outline and soft shadow; y is the baseline.
void StyledText(cairo_t* cr, const TFont& font, std::string_view text, double x, double y,
                TAlign align, const TTextStyle& style);

// Deterministic pseudo-random numbers, so every build draws the same bytes.
class TRandom {
  public:
    explicit TRandom(std::uint32_t seed) : FState(seed * 2654435761u + 0x9E3779B9u) {
        if (FState == 0) FState = 1; // xorshift never leaves zero
    }
    std::uint32_t Next();
    double Uniform(double lo, double hi);

  private:
    std::uint32_t FState;
};

} // namespace assetgen
