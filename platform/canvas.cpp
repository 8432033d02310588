#include "platform/canvas.h"

#include <QFontMetrics>

namespace {

QColor FromColorRef(uint32_t colorRef) {
    return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

} // namespace

QImage::Format SurfaceImageFormat(const TDDPixelFormat& format) {
    const auto is = [&format](int bits) { return SameFormat(format, PixelFormatForDepth(bits)); };
    if (is(16)) return QImage::Format_RGB16;
    if (is(24)) return QImage::Format_BGR888;
    if (is(32)) return QImage::Format_RGB32;
    return QImage::Format_Invalid;
}

TCanvas::TCanvas(const PDirectDrawSurface& surface) {
    if (!surface) throw std::runtime_error("Cannot create canvas for NIL surface");
    Open(*surface);
    FKeep = surface;
}

TCanvas::TCanvas(TDirectDrawSurface& surface) {
    Open(surface);
}

void TCanvas::Open(TDirectDrawSurface& surface) {
    const QImage::Format format = SurfaceImageFormat(surface.Format());
    if (format == QImage::Format_Invalid) throw std::runtime_error("Invalid bit count");
    FLock.emplace(surface);
    if (!FLock->Locked()) throw ECanvasError("Cannot lock surface for drawing", FLock->Result());
    const TDDSurfaceDesc& desc = FLock->Desc();
    FImage = QImage(desc.Surface, desc.Width, desc.Height, desc.Pitch, format);
    FPainter.begin(&FImage);
    FPainter.setBackgroundMode(Qt::TransparentMode);
    ApplyFont();
}

TCanvas::~TCanvas() {
    // The painter lets go of the pixels before the lock does.
    FPainter.end();
    FImage = QImage();
}

void TCanvas::ApplyFont() {
    QFont font(QString::fromStdString(FFontName));
    // Sizes are points on a 96 dpi desktop; pixels keep the layout independent of the device.
    font.setPixelSize(std::max(1, (FFontSize * 96 + 36) / 72));
    font.setBold(FFontStyle & fsBold);
    font.setItalic(FFontStyle & fsItalic);
    font.setUnderline(FFontStyle & fsUnderline);
    font.setStrikeOut(FFontStyle & fsStrikeOut);
    // Crisp glyphs: smoothed edges would leave half-dark pixels around text on key colour.
    font.setStyleStrategy(QFont::NoAntialias);
    FPainter.setFont(font);
    FPainter.setPen(FromColorRef(FFontColor));
}

void TCanvas::SetFontName(const std::string& name) {
    FFontName = name;
    ApplyFont();
}

void TCanvas::SetFontSize(int32_t points) {
    FFontSize = points;
    ApplyFont();
}

void TCanvas::SetFontStyle(uint32_t styles) {
    FFontStyle = styles;
    ApplyFont();
}

void TCanvas::SetFontColor(uint32_t colorRef) {
    FFontColor = colorRef & 0xFFFFFF;
    FPainter.setPen(FromColorRef(FFontColor));
}

int32_t TCanvas::TextWidth(const std::string& text) {
    return FPainter.fontMetrics().horizontalAdvance(QString::fromStdString(text));
}

int32_t TCanvas::TextHeight(const std::string&) {
    return FPainter.fontMetrics().height();
}

void TCanvas::TextOut(int32_t x, int32_t y, const std::string& text) {
    const QString string = QString::fromStdString(text);
    const QFontMetrics metrics = FPainter.fontMetrics();
    const QPoint origin(x, y + metrics.ascent());
    if (FImage.format() != QImage::Format_RGB16) {
        FPainter.drawText(origin, string);
        return;
    }
    // Qt's raster engine (6.4) steps the rows of unsmoothed glyphs at half the pitch of a
    // 16-bit image: each line would land twice side by side at half height. The text is drawn
    // on a 32-bit layer instead and laid over; its pixels are either fully set or untouched.
    const QRect box =
        metrics.boundingRect(string).translated(origin).adjusted(-2, -2, 2, 2) & FImage.rect();
    if (box.isEmpty()) return;
    QImage layer(box.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter painter(&layer);
        painter.setFont(FPainter.font());
        painter.setPen(FPainter.pen());
        painter.drawText(origin - box.topLeft(), string);
    }
    FPainter.drawImage(box.topLeft(), layer);
}

void TCanvas::Draw(int32_t x, int32_t y, const QImage& picture) {
    FPainter.setCompositionMode(QPainter::CompositionMode_Source);
    FPainter.drawImage(QPoint(x, y), picture);
    FPainter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}
