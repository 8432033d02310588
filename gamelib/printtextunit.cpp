#include "gamelib/printtextunit.h"

#include "gamelib/DDUtil.h"
#include "platform/canvas.h"

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

} // namespace

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
