#include "platform/ddrawqt.h"

#include "platform/canvas.h"
#include "platform/input.h"

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>

namespace {

// The cursor mapper is a plain function, so it reaches the scaled display through this.
TQtDisplay* ScaledDisplay = nullptr;

void MapScaledCursor(int32_t& x, int32_t& y) {
    if (ScaledDisplay) ScaledDisplay->MapCursor(x, y);
}

QScreen* Screen(const QWidget* window) {
    if (window && window->screen()) return window->screen();
    return QGuiApplication::primaryScreen();
}

} // namespace

TQtDisplay::TQtDisplay() = default;

TQtDisplay::~TQtDisplay() {
    Detach();
}

int32_t TQtDisplay::DesktopWidth() const {
    const QScreen* screen = Screen(FWindow);
    return screen ? screen->geometry().width() : 1024;
}

int32_t TQtDisplay::DesktopHeight() const {
    const QScreen* screen = Screen(FWindow);
    return screen ? screen->geometry().height() : 768;
}

int32_t TQtDisplay::DesktopBits() const {
    const QScreen* screen = Screen(FWindow);
    return screen && screen->depth() == 16 ? 16 : 32;
}

void TQtDisplay::Attach(QWidget* window, uint32_t flags) {
    Detach();
    FFlags = flags;
    FWindow = window;
    if (!window) return;
    window->installEventFilter(this);
    FWasActive = window->isActiveWindow();
    FActive = true;
    if (Fullscreen()) {
        // We paint every pixel ourselves; no background clearing between frames.
        window->setAttribute(Qt::WA_OpaquePaintEvent);
        // Cover the screen even where no window manager honours the fullscreen state.
        if (const QScreen* screen = Screen(window)) window->setGeometry(screen->geometry());
        if (window->isVisible())
            window->showFullScreen();
        else
            window->setWindowState(window->windowState() | Qt::WindowFullScreen);
    }
}

void TQtDisplay::ModeChanged(int32_t width, int32_t height, int32_t) {
    FModeSet = true;
    FModeWidth = width;
    FModeHeight = height;
    if (Fullscreen()) {
        ScaledDisplay = this;
        SetCursorMapper(&MapScaledCursor);
    }
    if (FWindow) FWindow->update();
}

void TQtDisplay::ModeRestored() {
    FModeSet = false;
    if (ScaledDisplay == this) {
        ScaledDisplay = nullptr;
        SetCursorMapper(nullptr);
    }
    if (FWindow) FWindow->update();
}

void TQtDisplay::Present(const TDirectDrawSurface& primary) {
    FFront = &primary;
    if (FWindow) FWindow->update();
}

void TQtDisplay::Detach() {
    if (FWindow) FWindow->removeEventFilter(this);
    if (ScaledDisplay == this) {
        ScaledDisplay = nullptr;
        SetCursorMapper(nullptr);
    }
    FWindow = nullptr;
    FFront = nullptr;
    FFlags = 0;
    FModeSet = false;
    FActive = true;
}

bool TQtDisplay::Active() const {
    return FActive || !Fullscreen();
}

void TQtDisplay::SurfaceGone(const TDirectDrawSurface& surface) {
    if (FFront == &surface) FFront = nullptr;
}

QRect TQtDisplay::TargetRect() const {
    if (!FWindow) return {};
    const int32_t w = FWindow->width(), h = FWindow->height();
    if (!Scaled() || FModeWidth <= 0 || FModeHeight <= 0) return QRect(0, 0, w, h);
    // The largest picture of the mode's aspect that fits, centred.
    int32_t tw = w, th = h;
    if (int64_t(w) * FModeHeight <= int64_t(h) * FModeWidth)
        th = static_cast<int32_t>(int64_t(w) * FModeHeight / FModeWidth);
    else
        tw = static_cast<int32_t>(int64_t(h) * FModeWidth / FModeHeight);
    return QRect((w - tw) / 2, (h - th) / 2, tw, th);
}

void TQtDisplay::MapCursor(int32_t& x, int32_t& y) const {
    if (!FWindow || !Scaled()) return;
    const QRect target = TargetRect();
    if (target.width() <= 0 || target.height() <= 0) return;
    const QPoint origin = FWindow->mapToGlobal(target.topLeft());
    x = static_cast<int32_t>(int64_t(x - origin.x()) * FModeWidth / target.width());
    y = static_cast<int32_t>(int64_t(y - origin.y()) * FModeHeight / target.height());
}

bool TQtDisplay::eventFilter(QObject* watched, QEvent* event) {
    if (watched != FWindow) return false;
    switch (event->type()) {
    case QEvent::Paint:
        Paint();
        return true;
    case QEvent::WindowActivate:
        FWasActive = true;
        FActive = true;
        break;
    case QEvent::WindowDeactivate:
        // Switching away from a fullscreen window takes its video memory, as the device did.
        if (Fullscreen() && FWasActive) {
            FActive = false;
            if (LoseSurfaces) LoseSurfaces();
        }
        break;
    default:
        break;
    }
    return false;
}

void TQtDisplay::Paint() {
    QPainter painter(FWindow);
    const QRect all = FWindow->rect();
    const QImage::Format format =
        FFront ? SurfaceImageFormat(FFront->Format()) : QImage::Format_Invalid;
    if (format == QImage::Format_Invalid) {
        painter.fillRect(all, Qt::black);
        return;
    }
    const QImage image(FFront->Pixels(), FFront->Width(), FFront->Height(), FFront->Pitch(),
                       format);
    QRect target;
    QRect source = image.rect();
    if (Scaled()) {
        target = TargetRect();
    } else if (Fullscreen()) {
        target = QRect(0, 0, image.width(), image.height());
    } else {
        // The primary is the whole desktop; the window shows what lies under its client area.
        const TPoint origin = ClientToScreen(FWindow, TPoint{});
        source = QRect(origin.X, origin.Y, all.width(), all.height()).intersected(image.rect());
        target =
            QRect(source.x() - origin.X, source.y() - origin.Y, source.width(), source.height());
    }
    const QRegion bars = QRegion(all).subtracted(QRegion(target));
    for (const QRect& bar : bars)
        painter.fillRect(bar, Qt::black);
    if (!source.isEmpty()) painter.drawImage(target, image, source);
}
