#include "gamelib/printtextunit.h"

#include "gamelib/DDUtil.h"
#include "gamelib/SpriteUnit.h"
#include "shell/Tools.h"
#include "platform/canvas.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace {

constexpr int32_t SmallestFontSize = 5;

struct TPlacement {
    int32_t Left, Top, Width, Height;
};

TPlacement Place(TCanvas& canvas, const std::string& text, int32_t x, int32_t y, int32_t outline,
                 int32_t vAlign, int32_t hAlign) {
    TPlacement p{x, y, canvas.TextWidth(text) + 2 * outline, canvas.TextHeight(text) + 2 * outline};
    if (hAlign == TextAlignEnd)
        p.Left = x - p.Width;
    else if (hAlign == TextAlignCentre)
        p.Left = x - p.Width / 2;
    if (vAlign == TextAlignMiddle)
        p.Top = y - p.Height / 2;
    else if (vAlign == TextAlignBottom)
        p.Top = y - p.Height;
    return p;
}

void DrawText(TCanvas& canvas, const std::string& text, int32_t x, int32_t y, int32_t fontSize,
              int32_t outline, uint32_t color, int32_t vAlign, int32_t hAlign, int32_t availWidth,
              int32_t availHeight) {
    TPlacement place{};
    for (int32_t size = fontSize; size >= SmallestFontSize; --size) {
        canvas.SetFontSize(size);
        place = Place(canvas, text, x, y, outline, vAlign, hAlign);
        if (place.Left + place.Width <= availWidth && place.Top + place.Height <= availHeight)
            break;
    }
    if (fontSize < SmallestFontSize) {
        canvas.SetFontSize(SmallestFontSize);
        place = Place(canvas, text, x, y, outline, vAlign, hAlign);
    }
    // The text sits inside its outline: the box measured above includes the outline.
    const int32_t textX = place.Left + outline, textY = place.Top + outline;
    if (outline > 0) {
        const uint32_t sum = (color & 0xFF) + ((color >> 8) & 0xFF) + ((color >> 16) & 0xFF);
        canvas.SetFontColor(sum < 129 ? 0xFFFFFF : 0x0F0F0F);
        for (int32_t dy = -outline; dy <= outline; ++dy)
            for (int32_t dx = -outline; dx <= outline; ++dx)
                if (dx != 0 || dy != 0) canvas.TextOut(textX + dx, textY + dy, text);
    }
    canvas.SetFontColor(color);
    canvas.TextOut(textX, textY, text);
}

// Per pixel row of a glyph: the leftmost opaque column (width - 1 when empty) and the rightmost
// (0 when empty).
struct TRowEdges {
    std::vector<int32_t> Left, Right;
};

TRowEdges RowEdges(int32_t sprite) {
    TRowEdges edges;
    if (sprite < 1 || sprite > SpriteCount) return edges;
    const TSprite& s = Sprites[size_t(sprite)];
    const PDirectDrawSurface& surface = SurfaceTable[size_t(s.Surface)].Surface;
    if (!surface) return edges;
    OpaqueRowEdges(surface, TRect{s.X, s.Y, s.X + s.W, s.Y + s.H}, ColorKeyValue, edges.Left,
                   edges.Right);
    return edges;
}

int32_t SpriteWidth(int32_t sprite) {
    return sprite >= 1 && sprite <= SpriteCount ? Sprites[size_t(sprite)].W : 0;
}

int32_t StartX(int32_t align, int32_t targetWidth, int32_t total) {
    if (align == SpriteAlignRight) return targetWidth - total;
    if (align == SpriteAlignCentre) return (targetWidth - total) / 2;
    return 0;
}

} // namespace

void PrintSpriteText(const std::string& text, int32_t targetObject, int32_t targetAnimation,
                     int32_t, int32_t align, int32_t advance, const std::string& charset,
                     int32_t fontObject) {
    const int32_t target = GetSprite(targetObject, targetAnimation, 0);
    if (target < 1 || target > SpriteCount) return;
    const TSprite t = Sprites[size_t(target)];
    const PDirectDrawSurface surface = SurfaceTable[size_t(t.Surface)].Surface;
    const bool kerning = advance < 10000;
    if (!kerning) advance -= 10000;
    const int32_t glyphWidth = SpriteWidth(GetSprite(fontObject, 0, 0));
    if (advance == 0) advance = glyphWidth;

    std::vector<int32_t> glyphs, positions;
    int32_t extra = 0;
    TRowEdges previous;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t found = charset.find(text[i]);
        const int32_t glyph =
            GetSprite(fontObject, 0, found == std::string::npos ? 0 : int32_t(found));
        if (kerning) {
            TRowEdges edges = RowEdges(glyph);
            if (i >= 1) {
                int32_t overlap = INT32_MIN;
                const size_t rows = std::min(edges.Left.size(), previous.Right.size());
                for (size_t row = 0; row < rows; ++row)
                    overlap = std::max(overlap, previous.Right[row] + 1 - edges.Left[row]);
                if (overlap > advance) extra += overlap - advance;
            }
            previous = std::move(edges);
        }
        glyphs.push_back(glyph);
        positions.push_back(int32_t(i) * advance + extra);
    }
    const int32_t total =
        text.empty() ? 0 : glyphWidth + (int32_t(text.size()) - 1) * advance + extra;
    const int32_t start = StartX(align, t.W, total);
    Colorfill(surface, t.X, t.Y, t.W, t.H, 0);
    for (size_t i = 0; i < glyphs.size(); ++i)
        DrawSprite(surface, t.X + start + positions[i], t.Y, glyphs[i], t.X, t.Y, t.X + t.W - 1,
                   t.Y + t.H - 1);
}

void PrintNumber(int32_t value, int32_t width, int32_t targetObject, int32_t targetAnimation,
                 int32_t align, int32_t digitObject) {
    const int32_t target = GetSprite(targetObject, targetAnimation, 0);
    if (target < 1 || target > SpriteCount) return;
    const TSprite t = Sprites[size_t(target)];
    const PDirectDrawSurface surface = SurfaceTable[size_t(t.Surface)].Surface;
    const std::string digits = IntToStrZero(value, width);
    const int32_t digitWidth = digitObject >= 1 && digitObject <= ObjectCount
                                   ? SpriteWidth(Objects[size_t(digitObject)].FirstSprite + 1)
                                   : 0;
    const int32_t start = StartX(align, t.W, int32_t(digits.size()) * digitWidth);
    Colorfill(surface, 0, 0, t.W, t.H, 0);
    if (digits.size() >= 7) return;
    for (size_t i = 0; i < digits.size(); ++i) {
        const char c = digits[i];
        const int32_t animation = c >= '0' && c <= '9' ? c - '0' : c == '-' ? 10 : 0;
        DrawSprite(surface, start + int32_t(i) * digitWidth, 0,
                   GetSprite(digitObject, animation, 0), 0, 0, ClipRight, ClipBottom);
    }
}

void PrintTextEx(int32_t x, int32_t y, const std::string& text, const PDirectDrawSurface& surface,
                 uint32_t fontStyle, int32_t fontSize, const std::string& fontName, int32_t outline,
                 uint32_t color, int32_t vAlign, int32_t hAlign, int32_t leftMargin,
                 int32_t topMargin, int32_t rightMargin, int32_t bottomMargin) {
    try {
        TCanvas canvas(surface);
        canvas.SetFontName(fontName);
        canvas.SetFontStyle(fontStyle);
        const int32_t availWidth = canvas.Width() + 1 - leftMargin - rightMargin;
        const int32_t availHeight = canvas.Height() + 1 - topMargin - bottomMargin;
        DrawText(canvas, text, x, y, fontSize, outline, color, vAlign, hAlign, availWidth,
                 availHeight);
    } catch (const ECanvasError& e) {
        DXCheckSurface(e.Code);
        throw;
    }
}

void PrintText(int32_t x, int32_t y, const std::string& text, const PDirectDrawSurface& surface,
               uint32_t fontStyle, int32_t fontSize, const std::string& fontName, int32_t outline,
               uint32_t color, int32_t vAlign, int32_t hAlign) {
    PrintTextEx(x, y, text, surface, fontStyle, fontSize, fontName, outline, color, vAlign, hAlign,
                0, 0, 0, 0);
}
