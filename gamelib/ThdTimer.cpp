#include "gamelib/ThdTimer.h"

#include <QCoreApplication>
#include <chrono>

void TTimerThread::run() {
    while (FTimer.WaitForTick())
        FTimer.Deliver();
}

TThreadedTimer::TThreadedTimer()
    : FContext(std::make_unique<QObject>()), FThread(std::make_unique<TTimerThread>(*this)) {
    FThread->start(FThreadPriority);
}

TThreadedTimer::~TThreadedTimer() {
    FTerminated = true;
    Wake();
    // A tick may be waiting for this thread; dropping the queued call releases the worker.
    while (!FThread->wait(5))
        QCoreApplication::removePostedEvents(FContext.get(), QEvent::MetaCall);
    QCoreApplication::removePostedEvents(FContext.get(), QEvent::MetaCall);
}

void TThreadedTimer::Wake() {
    {
        std::lock_guard<std::mutex> guard(FEventLock);
        FSignalled = true;
    }
    FEvent.notify_one();
}

void TThreadedTimer::SetEnabled(bool enabled) {
    if (enabled && FInterval == 0 && !AllowZero) enabled = false;
    if (enabled == FEnabled) return;
    FEnabled = enabled;
    // Woken, the worker starts a fresh interval (or goes to sleep when disabled).
    Wake();
}

void TThreadedTimer::SetThreadPriority(QThread::Priority priority) {
    // A running thread cannot take "inherit"; the worker keeps what it has.
    if (priority == QThread::InheritPriority) return;
    FThreadPriority = priority;
    FThread->setPriority(priority);
}

void TThreadedTimer::SetInterval(uint32_t interval) {
    const bool wasEnabled = FEnabled;
    SetEnabled(false);
    FInterval = interval;
    SetEnabled(wasEnabled);
}

bool TThreadedTimer::WaitForTick() {
    std::unique_lock<std::mutex> lock(FEventLock);
    for (;;) {
        if (FTerminated) return false;
        if (!FEnabled) {
            FEvent.wait(lock, [this] { return FSignalled; });
            FSignalled = false;
            continue;
        }
        const bool woken = FEvent.wait_for(lock, std::chrono::milliseconds(FInterval.load()),
                                           [this] { return FSignalled; });
        if (woken) {
            FSignalled = false;
            continue;
        }
        if (FEnabled && !FTerminated) return true;
    }
}

void TThreadedTimer::Deliver() {
    QMetaObject::invokeMethod(
        FContext.get(),
        [this] {
            if (FTerminated || !FEnabled || !OnTimer) return;
            ++FTicks;
            try {
                OnTimer();
            } catch (...) {
                // A failed refill must not end the timer; the next tick tries again.
            }
        },
        Qt::BlockingQueuedConnection);
}
