#include "game/DDrawUnit.h"

#include "gamelib/DDUtil.h"
#include "gamelib/vrDSound.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <exception>
#include <string>

TDDFullScreenForm1* DDFullScreenForm1 = nullptr;

TDDFullScreenForm1::TDDFullScreenForm1(QWidget* owner) : TDDFullScreenForm(owner) {
    setWindowTitle("Crumble Rush");
    SoundOn = Env.SoundOn != 0;
    SoundModeFlag = Env.SoundMode == 2;
}

void TDDFullScreenForm1::InitDDraw() {
    try {
        WriteLog("InitDDraw");
        TDDFullScreenForm::InitDDraw();
        WriteLog("1");
        SoundEngine->LoadFolder(ProgDir() + "\\snd", 20000);
        WriteLog("2a");
        SoundEngine->SetVolumeAll(VolumeFromLevel(Env.EffectsVolume));
        WriteLog("2b");
        SoundEngine->Find("back").SetVolume(VolumeFromLevel(Env.MusicVolume));
        WriteLog("2c");
        SoundEngine->Find("Track 30").SetVolume(VolumeFromLevel(Env.MusicVolume));
    } catch (const std::exception& e) {
        ErrorOccurred = true;
        WriteLog(std::string("Error initiating DirectX: ") + e.what());
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        Closing = true;
    }
}

void TDDFullScreenForm1::FormShow() {
    try {
        TDDFullScreenForm::FormShow();
        // A failed set-up has asked to close already; there is nothing to loop over.
        if (!Closing) SetFlipping(true);
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
