#include "game/DDrawUnit.h"

#include "gamelib/DDUtil.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "shell/Tools.h"

#include <exception>
#include <string>

TDDFullScreenForm1* DDFullScreenForm1 = nullptr;

TDDFullScreenForm1::TDDFullScreenForm1(QWidget* owner) : TDDFullScreenForm(owner) {
    setWindowTitle("Crumble Rush");
}

void TDDFullScreenForm1::FormShow() {
    try {
        TDDFullScreenForm::FormShow();
        SetFlipping(true);
    } catch (const std::exception& e) {
        // Without surfaces there is nothing to show: log, and leave through the close path.
        WriteLog(std::string("Exception raised in FormShow: ") + e.what());
        MessageBeep();
        ErrorOccurred = true;
        Closing = true;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void TDDFullScreenForm1::ThreadNotify(int32_t frames) {
    if (Closing && !Flipping) return;
    try {
        Frame(frames);
    } catch (const std::exception& e) {
        WriteLog("Exception raised in Threadnotify while " + FStage + ": " + e.what());
        MessageBeep();
        ErrorOccurred = true;
        Closing = true;
        if (Flipping) Back();
    }
}

void TDDFullScreenForm1::Frame(int32_t) {
    FStage = "RestoreSurfaces";
    if (SurfaceLost && !RestoreSurfaces()) return;
    FStage = "BackImageToSecondarySurface";
    DrawBackground();
    FStage = "CheckKeys";
    const bool escapeDown = GetAsyncKeyState(VK_ESCAPE) < 0;
    if (escapeDown && !FEscapeDown && !EscapePressed) {
        EscapePressed = true;
        Closing = true;
        Back();
    }
    FEscapeDown = escapeDown;
    if (Closing) return;
    FStage = "FlipPage";
    FlipPage(1);
}
