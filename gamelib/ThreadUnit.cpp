#include "gamelib/ThreadUnit.h"

#include "gamelib/frmDDFullScreen.h"
#include "platform/clock.h"
#include "shell/Tools.h"

#include <QCoreApplication>

namespace {
std::atomic<uint32_t> NextIdentifier{1};
}

TLoopThread::TLoopThread(TDDFullScreenForm* form) : Form(form), FIdentifier(NextIdentifier++) {}

std::unique_ptr<TLoopThread> TLoopThread::Create(TDDFullScreenForm* form, bool start) {
    WriteLog("CreateThread Begin");
    auto thread = std::make_unique<TLoopThread>(form);
    if (start) thread->start(QThread::NormalPriority);
    WriteLog("CreateThread End");
    return thread;
}

TLoopThread::~TLoopThread() {
    Terminate();
    wait();
}

void TLoopThread::Terminate() {
    FTerminate = true;
    requestInterruption();
}

int32_t TLoopThread::Tick() {
    const uint32_t now = GetTickCount();
    Elapsed += now - LastTick;
    LastTick = now;
    Frames = static_cast<int32_t>(Elapsed / Period);
    if (Frames > MaxFrames) Frames = MaxFrames;
    if (Frames <= 0) return 0;
    Elapsed %= Period;
    const int32_t frames = Frames;
    TDDFullScreenForm* form = Form;
    if (QThread::currentThread() == form->thread())
        form->ThreadNotify(frames);
    else
        QMetaObject::invokeMethod(
            form, [form, frames] { form->ThreadNotify(frames); }, Qt::BlockingQueuedConnection);
    return frames;
}

void TLoopThread::run() {
    while (!FTerminate) {
        if (Tick() == 0) {
            // Sleep to the next period boundary instead of spinning a core; the period
            // arithmetic above is unaffected, only the polling is less frequent.
            ::Sleep(Period - Elapsed % Period);
        }
    }
    Finish();
}

void TLoopThread::Finish() {
    WriteLog("DestroyThread Begin");
    FDone = true;
    WriteLog("DestroyThread End");
    // Posted last, so the window's closing lines always follow the thread's own.
    QCoreApplication::postEvent(Form, new TLoopDoneEvent(FIdentifier));
}
