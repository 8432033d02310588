#include "platform/clock.h"

#include <QApplication>
#include <chrono>
#include <thread>

namespace {
// Read by the frame loop thread as well, hence atomic.
std::atomic<TClock*> InjectedClock{nullptr};
} // namespace

uint32_t GetTickCount() {
    if (TClock* clock = InjectedClock.load()) return clock->Ticks();
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    // Truncating to 32 bits gives the same wrap-around as the original counter.
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
}

void Sleep(uint32_t ms) {
    if (TClock* clock = InjectedClock.load()) {
        clock->Sleep(ms);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void MessageBeep() {
    if (TClock* clock = InjectedClock.load()) {
        clock->Beep();
        return;
    }
    // A tool without widgets has no one to beep for.
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
}

void SetClock(TClock* clock) {
    InjectedClock.store(clock);
}
