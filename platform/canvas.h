#pragma once
// The drawing context of a surface: a QPainter on the surface's locked pixels. The surface
// stays locked for the canvas' lifetime, so nobody may copy into it meanwhile.
#include "platform/ddraw.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <optional>
#include <stdexcept>
#include <string>

// Font styles, combined as a set.
constexpr uint32_t fsBold = 0x1;
constexpr uint32_t fsItalic = 0x2;
constexpr uint32_t fsUnderline = 0x4;
constexpr uint32_t fsStrikeOut = 0x8;

// The QImage format over a surface's pixels; Format_Invalid for any format but the display
// modes' three, so that no image ever reads a surface's memory in the wrong pixel size.
QImage::Format SurfaceImageFormat(const TDDPixelFormat& format);

// The surface could not be locked; Code is the device's answer (lost, busy, ...).
class ECanvasError : public std::runtime_error {
  public:
    ECanvasError(const std::string& message, HRESULT code)
        : std::runtime_error(message), Code(code) {}
    HRESULT Code;
};

class TCanvas {
  public:
    explicit TCanvas(const PDirectDrawSurface& surface);
    explicit TCanvas(TDirectDrawSurface& surface);
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    int32_t Width() const { return FImage.width(); }
    int32_t Height() const { return FImage.height(); }

    void SetFontName(const std::string& name);
    void SetFontSize(int32_t points); // points at 96 dots per inch, as the desktop had
    void SetFontStyle(uint32_t styles);
    void SetFontColor(uint32_t colorRef); // 0x00BBGGRR
    std::string FontName() const { return FFontName; }
    int32_t FontSize() const { return FFontSize; }
    uint32_t FontStyle() const { return FFontStyle; }
    uint32_t FontColor() const { return FFontColor; }

    int32_t TextWidth(const std::string& text);
    int32_t TextHeight(const std::string& text);
    // The text's cell has its top-left corner at (x, y); the background stays as it is.
    void TextOut(int32_t x, int32_t y, const std::string& text);
    // Copies a picture to (x, y), converted to the surface's format and cut at its edges.
    void Draw(int32_t x, int32_t y, const QImage& picture);

    // The wrapped pixels and the painter for drawing the canvas has no call for.
    QImage& Image() { return FImage; }
    QPainter& Painter() { return FPainter; }

  private:
    void Open(TDirectDrawSurface& surface);
    void ApplyFont();
    PDirectDrawSurface FKeep; // a shared surface stays alive while it is locked here
    std::optional<TSurfaceLock> FLock;
    QImage FImage;
    QPainter FPainter;
    std::string FFontName = "Arial";
    int32_t FFontSize = 8;
    uint32_t FFontStyle = 0;
    uint32_t FFontColor = 0;
};
