#pragma once
// The Qt window as the display: the front surface is painted into the window that set the
// cooperative level. Fullscreen with a mode change scales the mode's picture to the screen
// keeping its aspect (black bars), fullscreen without one shows the desktop-sized primary
// unscaled, a normal window shows the part of the primary under its client area.
#include "platform/ddraw.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

class TQtDisplay : public QObject, public TDisplay {
  public:
    TQtDisplay();
    ~TQtDisplay() override;

    int32_t DesktopWidth() const override;
    int32_t DesktopHeight() const override;
    int32_t DesktopBits() const override;
    void Attach(QWidget* window, uint32_t flags) override;
    void ModeChanged(int32_t width, int32_t height, int32_t bits) override;
    void ModeRestored() override;
    void Present(const TDirectDrawSurface& primary) override;
    void Detach() override;
    bool Active() const override;
    void SurfaceGone(const TDirectDrawSurface& surface) override;

    QWidget* Window() const { return FWindow; }
    bool Fullscreen() const { return FFlags & DDSCL_FULLSCREEN; }
    bool Scaled() const { return Fullscreen() && FModeSet; }
    // Where in the window the picture goes (widget coordinates).
    QRect TargetRect() const;
    // Window-system screen coordinates to the mode's pixels (scaled fullscreen only).
    void MapCursor(int32_t& x, int32_t& y) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Paint();
    QPointer<QWidget> FWindow;
    uint32_t FFlags = 0;
    bool FModeSet = false;
    int32_t FModeWidth = 0, FModeHeight = 0;
    const TDirectDrawSurface* FFront = nullptr;
    bool FWasActive = false;
    bool FActive = true;
};
