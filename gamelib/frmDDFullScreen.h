#pragma once
// The base of every drawing window: sets up the surfaces in one of three display modes, shows
// the loader picture, runs the frame loop thread, flips or blits each frame and restores lost
// surfaces. The derived window draws the frame in ThreadNotify.
#include "platform/ddraw.h"

#include <QEvent>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

class TEngineState;
class TLoopThread;
class TvrDSound;

// The sound engine of the shown window: created by InitDDraw, freed by FreeDDraw.
extern std::unique_ptr<TvrDSound> SoundEngine;

// Plays a loaded sound of SoundEngine at pan (and at frequency unless 0); nothing without an
// engine.
void PlayEngineSound(const std::string& name, int32_t pan, uint32_t frequency = 0);

// The display modes (the settings' DisplayMode): fullscreen at DisplayWidth × DisplayHeight
// (the picture scaled to the screen), fullscreen in the desktop's own mode with the picture
// centred, and a window.
constexpr uint8_t DisplayModeFullscreen = 0;
constexpr uint8_t DisplayModeDesktop = 1;
constexpr uint8_t DisplayModeWindow = 2;

constexpr int WM_USER = 0x0400;
constexpr int WM_LOOPDONE = WM_USER + 8;

// The loop thread's notice that it has ended; WParam is the thread's identifier.
class TLoopDoneEvent : public QEvent {
  public:
    static constexpr QEvent::Type EventType = static_cast<QEvent::Type>(QEvent::User + WM_LOOPDONE);
    explicit TLoopDoneEvent(uint32_t wParam) : QEvent(EventType), WParam(wParam) {}
    uint32_t WParam;
};

class TDDFullScreenForm : public QWidget {
  public:
    explicit TDDFullScreenForm(QWidget* owner = nullptr);
    ~TDDFullScreenForm() override;

    virtual void InitDDraw();
    virtual void FreeDDraw();
    virtual bool RestoreSurfaces();
    virtual void ThreadNotify(int32_t frames);

    void SetDisplayMode(uint8_t mode);
    void SetFlipping(bool on);
    void Back();
    void SetBackgroundImage(const std::string& name);
    void DrawBackground();
    void FlipPage(uint32_t wait);
    void BlitToWindow();
    void UpdateMouse();
    void ShowLoader();

    // Shows the window and returns once it has closed and freed itself.
    void ShowModal();
    // One poll of a loop that the caller drives (ManualLoop): the loop thread's Tick on this
    // thread, and its end once flipping has been switched off. False once the loop has ended.
    bool PollLoop();

    // The engine's program-wide state, set for this window from creation to destruction.
    std::unique_ptr<TEngineState> Engine;
    PDirectDraw DirectDraw1;
    int32_t CooperativeFlags = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT;
    int32_t DisplayWidth = 800, DisplayHeight = 600;
    int32_t BitDepth = 16;
    int32_t BackBufferCount = 1;
    uint8_t DisplayMode = DisplayModeFullscreen;
    PDirectDrawSurface Primary;
    bool LoopRunning = false;
    bool Flipping = false;
    std::unique_ptr<TLoopThread> LoopThread;
    std::string BackgroundName;
    bool BackgroundOn = true;
    bool ErrorOccurred = false;
    bool SoundOn = true;
    bool SoundModeFlag = false;
    bool Paused = false;
    bool SpritesVisible = false;
    bool Continue = false;
    int32_t AccumX = 0, AccumY = 0;
    int32_t MouseX = -1, MouseY = -1;
    int32_t PrevMouseX = -1, PrevMouseY = -1;
    int32_t ShotRequests = 0;
    bool MouseInside = true;
    bool Closing = false;
    bool EscapePressed = false;
    int32_t BackgroundOffset = 0;
    uint32_t LoaderShownAt = 0;
    int32_t StepCount = 0;
    // Headless runs and tests: SetFlipping makes the loop thread without starting it, and the
    // caller advances the clock and calls PollLoop instead. Set before the window is shown.
    bool ManualLoop = false;

  protected:
    // The form's events, in the order the window system raises them.
    virtual void FormShow();
    virtual void FormActivate();
    virtual void FormPaint();
    // false refuses the close.
    virtual bool FormClose();
    virtual void FormDestroy();

    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    // The set-up of each display mode, between the device and the background surface.
    void InitWindowed();
    void InitFullscreen();
    void InitDesktop();
    void TakeScreen();
    void CreateFlippingChain();
    void Release();
    uint32_t FLoopThreadId = 0;
    bool FDestroyed = false;
};
