#pragma once
// A timer whose ticks do not depend on the main thread's event loop being idle: a worker thread
// waits for Interval milliseconds and hands each tick to the main thread, waiting until the
// handler has run. The handler therefore runs on the thread that owns the timer, never on the
// worker; errors it raises are absorbed.
#include <QObject>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class TThreadedTimer;

class TTimerThread : public QThread {
  public:
    explicit TTimerThread(TThreadedTimer& timer) : FTimer(timer) {}

  protected:
    void run() override;

  private:
    TThreadedTimer& FTimer;
};

class TThreadedTimer {
  public:
    TThreadedTimer();
    ~TThreadedTimer();
    TThreadedTimer(const TThreadedTimer&) = delete;
    TThreadedTimer& operator=(const TThreadedTimer&) = delete;

    bool Enabled() const { return FEnabled; }
    // Enabling needs Interval > 0, or 0 with AllowZero; otherwise it stays off.
    void SetEnabled(bool enabled);
    uint32_t Interval() const { return FInterval; }
    // Disables, stores, and enables again when it was.
    void SetInterval(uint32_t interval);
    bool AllowZero = false;
    std::function<void()> OnTimer;
    QThread::Priority ThreadPriority = QThread::NormalPriority;

    // Ticks handed over so far (read on the owning thread).
    uint64_t Ticks() const { return FTicks; }

  private:
    friend class TTimerThread;
    // The worker's side: waits one interval (or while disabled); false once terminated.
    bool WaitForTick();
    void Deliver();
    void Wake();

    std::atomic<bool> FEnabled{false};
    std::atomic<uint32_t> FInterval{1000};
    std::atomic<bool> FTerminated{false};
    uint64_t FTicks = 0;
    std::mutex FEventLock;
    std::condition_variable FEvent;
    bool FSignalled = false;           // the auto-reset event
    std::unique_ptr<QObject> FContext; // receives the handed-over ticks on the owning thread
    std::unique_ptr<TTimerThread> FThread;
};
