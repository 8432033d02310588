#include "gamelib/frmDDFullScreen.h"

#include "gamelib/BobhandlingUnit.h"
#include "gamelib/DDUtil.h"
#include "gamelib/EngineState.h"
#include "gamelib/SpriteUnit.h"
#include "gamelib/ThreadUnit.h"
#include "gamelib/printtextunit.h"
#include "gamelib/vrDSound.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "platform/winpath.h"
#include "shell/Tools.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <exception>
#include <string>

std::unique_ptr<TvrDSound> SoundEngine;

void PlayEngineSound(const std::string& name, int32_t pan, uint32_t frequency) {
    if (!SoundEngine) return;
    TvrDSoundFile& sound = SoundEngine->Find(name);
    sound.SetPan(pan);
    if (frequency != 0) sound.SetFrequency(frequency);
    sound.Play();
}

namespace {

PDirectDrawSurface NewSurface(int32_t width, int32_t height, uint32_t caps) {
    TDDSurfaceDesc desc;
    desc.Flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.Caps = caps;
    desc.Width = width;
    desc.Height = height;
    PDirectDrawSurface surface;
    DXCheck(DirectDrawObject->CreateSurface(desc, surface));
    return surface;
}

void FillBlack(const PDirectDrawSurface& surface) {
    TDDBltFx fx;
    fx.FillColor = 0;
    DXCheck(surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx));
}

int VirtualKey(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Shift:
        return VK_SHIFT;
    default:
        break;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) return VK_F1 + (qtKey - Qt::Key_F1);
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey; // letters and digits share their codes
    return 0;
}

const char* ResultText(bool errorOccurred) {
    return errorOccurred ? "ERROR" : "OK";
}

} // namespace

TDDFullScreenForm::TDDFullScreenForm(QWidget* owner) : QWidget(owner, Qt::Window) {
    setWindowTitle("DDFullScreenForm");
    // No surfaces, alpha blending on, no status line until the window says otherwise.
    Engine = std::make_unique<TEngineState>(DisplayWidth, DisplayHeight);
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setFocusPolicy(Qt::StrongFocus);
    ErrorOccurred = false;
    SoundEngine.reset();
}

TDDFullScreenForm::~TDDFullScreenForm() {
    // A window deleted without closing still tears down in order.
    if (!FDestroyed) {
        FDestroyed = true;
        try {
            FormDestroy();
        } catch (const std::exception&) {
            // Destructors must not throw; the log line is all that is lost.
        }
    }
}

void TDDFullScreenForm::SetDisplayMode(uint8_t mode) {
    if (DirectDrawObject && DirectDraw1) return;
    DisplayMode = mode;
    if (mode == 2) setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint);
}

void TDDFullScreenForm::ShowModal() {
    QPointer<TDDFullScreenForm> self(this);
    QEventLoop loop;
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    setWindowModality(Qt::ApplicationModal);
    if (DisplayMode == DisplayModeWindow) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() -
                 QPoint(DisplayWidth / 2, DisplayHeight / 2));
        show();
    } else
        showFullScreen();
    if (!self) return;
    // Keys reach the window only while it is active, with or without a window manager.
    activateWindow();
    setFocus();
    loop.exec();
}

// ---- events ---------------------------------------------------------------------------------

bool TDDFullScreenForm::event(QEvent* e) {
    // No exception may pass through Qt: one that reaches here is logged and the window goes on
    // (a lost surface is restored by the next frame; the frame itself reports its failures).
    try {
        if (e->type() == TLoopDoneEvent::EventType) {
            auto* done = static_cast<TLoopDoneEvent*>(e);
            if (LoopThread && done->WParam == FLoopThreadId) {
                LoopRunning = false;
                close();
            }
            return true;
        }
        if (e->type() == QEvent::WindowActivate) FormActivate();
        return QWidget::event(e);
    } catch (const EDirectXSurfaceLostError&) {
        return true;
    } catch (const std::exception& error) {
        ErrorOccurred = true;
        try {
            WriteLog(std::string("Exception raised in window event: ") + error.what());
        } catch (const std::exception&) {
        }
        return true;
    }
}

void TDDFullScreenForm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!e->spontaneous()) FormShow();
}

void TDDFullScreenForm::closeEvent(QCloseEvent* e) {
    if (!FormClose()) {
        e->ignore();
        return;
    }
    e->accept();
    // The window frees itself once the close has gone through, as a released form does.
    QMetaObject::invokeMethod(this, &TDDFullScreenForm::Release, Qt::QueuedConnection);
}

void TDDFullScreenForm::paintEvent(QPaintEvent*) {
    FormPaint();
}

void TDDFullScreenForm::keyPressEvent(QKeyEvent* e) {
    if (const int vk = VirtualKey(e->key()); vk != 0 && !e->isAutoRepeat()) NoteKeyDown(vk);
}

void TDDFullScreenForm::keyReleaseEvent(QKeyEvent* e) {
    if (const int vk = VirtualKey(e->key()); vk != 0 && !e->isAutoRepeat()) NoteKeyUp(vk);
}

void TDDFullScreenForm::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) NoteKeyDown(VK_LBUTTON);
    if (e->button() == Qt::RightButton) NoteKeyDown(VK_RBUTTON);
}

void TDDFullScreenForm::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) NoteKeyUp(VK_LBUTTON);
    if (e->button() == Qt::RightButton) NoteKeyUp(VK_RBUTTON);
}

void TDDFullScreenForm::Release() {
    deleteLater();
    if (!FDestroyed) {
        FDestroyed = true;
        try {
            FormDestroy();
        } catch (const std::exception&) {
            // The log could not be written; the window goes all the same.
        }
    }
}

// ---- the form's handlers --------------------------------------------------------------------

void TDDFullScreenForm::FormShow() {
    WriteLog("Formshow: Start");
    if (DisplayMode == DisplayModeDesktop) {
        const std::shared_ptr<TDisplay> display = DefaultDisplay();
        if (display->DesktopWidth() >= DisplayWidth && display->DesktopHeight() >= DisplayHeight) {
            if (!DirectDraw1) InitDDraw();
            WriteLog("Formshow: End");
            return;
        }
        SetDisplayMode(DisplayModeFullscreen);
    }
    if (!DirectDraw1) InitDDraw();
    WriteLog("Formshow: End");
}

void TDDFullScreenForm::FormActivate() {
    WriteLog("FormActivate: Start");
    if (SoundEngine) SoundEngine->RestoreAll();
    WriteLog("FormActivate: End");
}

void TDDFullScreenForm::FormPaint() {
    if (DisplayMode == DisplayModeWindow && Primary && DisplaySurfaces.size() > 1) BlitToWindow();
}

bool TDDFullScreenForm::FormClose() {
    WriteLog("FormClose: Start");
    if (!Closing) {
        WriteLog("FormClose: Reclose");
        Closing = true;
        return false;
    }
    unsetCursor();
    WriteLog("FormClose: End");
    WriteLog(ResultText(ErrorOccurred));
    return true;
}

void TDDFullScreenForm::FormDestroy() {
    WriteLog("Formdestroy: Start");
    if (LoopRunning && LoopThread && !LoopThread->Done()) {
        WriteLog("Formdestroy: Terminate Loop");
        LoopThread->Terminate();
        WriteLog("Formdestroy: Waiting For Loop Termination");
        // Keep serving the thread's synchronized frames while waiting, or both would block.
        while (!LoopThread->wait(5))
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        WriteLog("Formdestroy: Loop Terminated");
    }
    LoopThread.reset();
    FreeDDraw();
    WriteLog("Formdestroy: End");
    WriteLog(ResultText(ErrorOccurred));
}

// ---- set-up and tear-down -------------------------------------------------------------------

void TDDFullScreenForm::InitDDraw() {
    WriteLog("InitDDraw (Inherited)");
    // Empty tables, no view offsets, clip edges and projection of the window's size.
    Engine->Release();
    Engine->SetScreenSize(DisplayWidth, DisplayHeight);
    BackgroundOffset = 0;
    Engine->SetAlphaMaps(true);
    MouseX = MouseY = -1;
    AccumX = AccumY = 0;
    ShotRequests = 0;
    MouseInside = true;
    SpritesVisible = false;
    Paused = false;
    LoopRunning = false;
    WriteLog("-1");

    DXCheck(DirectDrawCreate(DirectDraw1));
    Engine->SetDevice(DirectDraw1);
    WriteLog("0");

    try {
        switch (DisplayMode) {
        case DisplayModeWindow:
            InitWindowed();
            break;
        case DisplayModeDesktop:
            InitDesktop();
            break;
        default:
            InitFullscreen();
            break;
        }

        Engine->SetBackgroundSurface(
            NewSurface(DisplayWidth, DisplayHeight, DDSCAPS_OFFSCREENPLAIN));
        WriteLog("16");
        Colorfill(BackgroundSurface, 0, 0, DisplayWidth, DisplayHeight, 0);
        WriteLog("17");
        // Blends draw in place, so no scratch surface is made; its step keeps its log line.
        if (AlphaBlendEnabled || AlphaMapEnabled) WriteLog("18");
        ShowLoader();
        WriteLog("19");
        Engine->CreateBobs();
        WriteLog("20");
        SoundEngine = std::make_unique<TvrDSound>(this, SoundOn, SoundModeFlag, 44100, 16, 2);
        WriteLog("21");
        // The MP3 codec driver is optional: without it only MP3-coded waves stay silent.
        const std::string codecDriver = ProgDir() + "\\l3codecx.acm";
        if (FileExists(codecDriver)) SoundEngine->LoadACMDriver(codecDriver);
        WriteLog("InitDDraw (Inherited) OK!");
    } catch (...) {
        Primary.reset();
        Engine->Release();
        DirectDraw1.reset();
        throw;
    }
}

// Mode 2: a primary surface clipped to the window, and plain surfaces in system memory as the
// front and back, blitted into the client area.
void TDDFullScreenForm::InitWindowed() {
    DXCheck(DirectDrawObject->SetCooperativeLevel(this, DDSCL_NORMAL));
    WriteLog("1");
    Primary = NewSurface(0, 0, DDSCAPS_PRIMARYSURFACE);
    WriteLog("2");
    std::shared_ptr<TDirectDrawClipper> clipper;
    DXCheck(DirectDrawObject->CreateClipper(0, clipper));
    WriteLog("3");
    DXCheck(clipper->SetHWnd(0, this));
    WriteLog("4");
    DXCheck(Primary->SetClipper(clipper));
    WriteLog("5");
    for (int32_t i = 0; i <= BackBufferCount; ++i) {
        PDirectDrawSurface surface =
            NewSurface(DisplayWidth, DisplayHeight, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
        WriteLog("6");
        Engine->AddDisplaySurface(surface);
        WriteLog("7");
    }
    setFixedSize(DisplayWidth, DisplayHeight);
}

// Mode 0: the display switched to the window's size and depth, with a flipping chain.
void TDDFullScreenForm::InitFullscreen() {
    TakeScreen();
    DXCheck(DirectDrawObject->SetDisplayMode(DisplayWidth, DisplayHeight, BitDepth, 0, 0));
    CreateFlippingChain();
}

// Mode 1: the desktop's own mode, the picture centred by view offsets in black borders.
void TDDFullScreenForm::InitDesktop() {
    TakeScreen();
    TDDSurfaceDesc mode;
    DXCheck(DirectDrawObject->GetDisplayMode(mode));
    Engine->SetViewOffsets(
        static_cast<int32_t>(static_cast<uint32_t>(mode.Width - DisplayWidth) / 2),
        static_cast<int32_t>(static_cast<uint32_t>(mode.Height - DisplayHeight) / 2));
    WriteLog("9");
    CreateFlippingChain();
    WriteLog("14");
    for (const PDirectDrawSurface& surface : DisplaySurfaces)
        FillBlack(surface);
    WriteLog("15");
}

void TDDFullScreenForm::TakeScreen() {
    setCursor(Qt::BlankCursor);
    DXCheck(DirectDrawObject->SetCooperativeLevel(this, CooperativeFlags));
    WriteLog("8");
}

// The front surface and, with back buffers, the surfaces attached to it.
void TDDFullScreenForm::CreateFlippingChain() {
    WriteLog("10");
    TDDSurfaceDesc desc;
    desc.Flags = DDSD_CAPS;
    desc.Caps = DDSCAPS_PRIMARYSURFACE;
    if (BackBufferCount != 0) {
        desc.Flags |= DDSD_BACKBUFFERCOUNT;
        desc.Caps |= DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        desc.BackBufferCount = static_cast<uint32_t>(BackBufferCount);
    }
    PDirectDrawSurface front;
    DXCheck(DirectDrawObject->CreateSurface(desc, front));
    WriteLog("11");
    Engine->AddDisplaySurface(front);
    WriteLog("12");
    if (BackBufferCount != 0) {
        DXCheck(DirectDrawObject->EnumSurfaces([this](const PDirectDrawSurface& surface) {
            if (!(surface->Caps() & DDSCAPS_PRIMARYSURFACE)) Engine->AddDisplaySurface(surface);
        }));
    }
    WriteLog("13");
}

void TDDFullScreenForm::FreeDDraw() {
    WriteLog("Freeddraw: Start");
    SoundEngine.reset();
    Primary.reset();
    if (DisplayMode != DisplayModeWindow && DirectDrawObject)
        DirectDrawObject->RestoreDisplayMode();
    Engine->Release();
    DirectDraw1.reset();
    WriteLog("Freeddraw: End");
}

bool TDDFullScreenForm::RestoreSurfaces() {
    for (const PDirectDrawSurface& surface : DisplaySurfaces) {
        const HRESULT state = surface->IsLost();
        if (state == DDERR_SURFACELOST) {
            if (surface->Restore() != DD_OK) {
                ::Sleep(250);
                return false;
            }
        } else {
            DXCheck(state);
        }
    }
    if (BackgroundSurface && BackgroundSurface->IsLost() == DDERR_SURFACELOST) {
        if (BackgroundSurface->Restore() != DD_OK) {
            ::Sleep(250);
            return false;
        }
        if (!BackgroundName.empty()) LoadImageToSurface(BackgroundName, BackgroundSurface);
    }
    for (int32_t i = 1; i <= SurfaceCount; ++i) {
        TSurfaceEntry& entry = SurfaceTable[i];
        if (!entry.Surface || entry.Surface->IsLost() != DDERR_SURFACELOST) continue;
        if (entry.Surface->Restore() != DD_OK) {
            ::Sleep(250);
            return false;
        }
        WriteLog(entry.FileName + " reload");
        if (!entry.FileName.empty()) LoadSheetToSurface(entry.FileName, entry.Surface);
    }
    if (DisplayMode == DisplayModeDesktop)
        for (const PDirectDrawSurface& surface : DisplaySurfaces)
            FillBlack(surface);
    SurfaceLost = false;
    return true;
}

void TDDFullScreenForm::ThreadNotify(int32_t) {}

// ---- the frame loop -------------------------------------------------------------------------

void TDDFullScreenForm::SetFlipping(bool on) {
    WriteLog("SetFlipping Begin");
    if (on != Flipping) {
        Flipping = on;
        if (on) {
            WriteLog("SetFlipping CreateThread");
            LoopThread.reset(); // a previous loop has ended already; joins its thread
            LoopThread = TLoopThread::Create(this, !ManualLoop);
            FLoopThreadId = LoopThread->Identifier();
            LoopRunning = true;
        } else {
            WriteLog("SetFlipping Terminate");
            if (LoopRunning && LoopThread) LoopThread->Terminate();
        }
    }
    WriteLog("SetFlipping End");
}

bool TDDFullScreenForm::PollLoop() {
    if (!LoopThread || LoopThread->Done()) return false;
    if (!LoopThread->TerminateRequested()) LoopThread->Tick();
    // As the running thread leaves its loop after the frame that switched flipping off.
    if (LoopThread->TerminateRequested()) LoopThread->Finish();
    return !LoopThread->Done();
}

void TDDFullScreenForm::Back() {
    WriteLog("Back: Start");
    if (Flipping) {
        WriteLog("Back: Stop flipping");
        SetFlipping(false);
    } else {
        close();
    }
    WriteLog("Back: End");
}

void TDDFullScreenForm::SetBackgroundImage(const std::string& name) {
    BackgroundName = name;
    LoadImageToSurface(name, BackgroundSurface);
}

void TDDFullScreenForm::DrawBackground() {
    if (!BackgroundOn || DisplaySurfaces.size() < 2) return;
    const PDirectDrawSurface& back = DisplaySurfaces[1];
    const int32_t w = DisplayWidth, o = BackgroundOffset;
    if (o == 0) {
        ClippedBlit(BackgroundSurface, 0, 0, w, DisplayHeight, back, 0, 0, false, 0, 0, ClipRight,
                    ClipBottom);
    } else {
        ClippedBlit(BackgroundSurface, o, 0, w - o, DisplayHeight, back, 0, 0, false, 0, 0,
                    ClipRight, ClipBottom);
        ClippedBlit(BackgroundSurface, 0, 0, o, DisplayHeight, back, w - o, 0, false, 0, 0,
                    ClipRight, ClipBottom);
    }
}

void TDDFullScreenForm::FlipPage(uint32_t wait) {
    if (DisplayMode == DisplayModeWindow) {
        BlitToWindow();
        return;
    }
    DXCheckSurface(DisplaySurfaces[0]->Flip(nullptr, wait));
}

void TDDFullScreenForm::BlitToWindow() {
    if (!Primary || DisplaySurfaces.size() < 2) return;
    const TPoint origin = ClientToScreen(this, TPoint{});
    TRect dest{origin.X, origin.Y, origin.X + DisplayWidth, origin.Y + DisplayHeight};
    DXCheck(Primary->Blt(&dest, DisplaySurfaces[1].get(), nullptr, DDBLT_WAIT, nullptr));
}

void TDDFullScreenForm::UpdateMouse() {
    PrevMouseX = MouseX;
    PrevMouseY = MouseY;
    TPoint cursor;
    GetCursorPos(cursor);
    MouseX = cursor.X;
    MouseY = cursor.Y;
    if (DisplayMode == DisplayModeWindow) {
        const TPoint origin = ClientToScreen(this, TPoint{});
        MouseX -= origin.X;
        MouseY -= origin.Y;
        MouseInside = MouseX >= 0 && MouseX < 801 && MouseY >= 0 && MouseY < 601;
    } else {
        MouseInside = true;
    }
    if (PrevMouseX != -1) AccumX += MouseX - PrevMouseX;
    if (PrevMouseY != -1) AccumY += MouseY - PrevMouseY;
}

void TDDFullScreenForm::ShowLoader() {
    FillBlack(DisplaySurfaces[1]);
    FillBlack(DisplaySurfaces[0]);
    PrintText(DisplayWidth / 2, DisplayHeight / 2, "Loading...", BackgroundSurface, 1, 24, "Arial",
              1, 0, 1, 2);
    DrawBackground();
    FlipPage(1);
    const std::string folder = ProgDir();
    bool shown = false;
    if (FileExists(folder + "/sp/loading.jpg") &&
        LoadImageToSurface("sp\\loading", BackgroundSurface))
        shown = true;
    else if (FileExists(folder + "/sps/loaderpic.jpg") &&
             LoadImageToSurface("sps\\loaderpic", BackgroundSurface))
        shown = true;
    else if (LoadImageToSurface("gfx\\loaderpic", BackgroundSurface))
        shown = true;
    if (shown) {
        DrawBackground();
        FlipPage(1);
        LoaderShownAt = GetTickCount();
    } else {
        LoaderShownAt = 0;
    }
}
