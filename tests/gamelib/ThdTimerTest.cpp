#include "gamelib/ThdTimer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>
#include <sched.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

// Serves handed-over ticks until the condition holds (or a generous limit passes).
template <class TCondition> bool ServeUntil(TCondition condition) {
    QDeadlineTimer limit(10000);
    while (!condition() && !limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

TEST(ThreadedTimer, EnablingNeedsAnIntervalUnlessZeroIsAllowed) {
    TThreadedTimer timer;
    EXPECT_FALSE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    timer.SetInterval(0);
    timer.SetEnabled(true);
    EXPECT_FALSE(timer.Enabled());
    timer.AllowZero = true;
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Enabled());
    // A new interval keeps the timer as it was.
    timer.SetInterval(2500);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 2500u);
    timer.SetEnabled(false);
    timer.SetInterval(10);
    EXPECT_FALSE(timer.Enabled());
}

// Threads of this process that the scheduler runs only when nothing else wants the processor.
int IdleThreads() {
    int idle = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        idle += sched_getscheduler(std::stoi(task.path().filename().string())) == SCHED_IDLE;
    return idle;
}

TEST(ThreadedTimer, TicksRunOnTheOwningThreadAtTheWorkersPriorityAndSurviveFailingHandlers) {
    TThreadedTimer timer;
    EXPECT_EQ(timer.ThreadPriority(), QThread::NormalPriority);
    const int before = IdleThreads();
    timer.SetThreadPriority(QThread::IdlePriority);
    EXPECT_EQ(timer.ThreadPriority(), QThread::IdlePriority);
    EXPECT_EQ(IdleThreads(), before + 1) << "the worker runs at idle priority now";
    int calls = 0;
    bool onMainThread = true;
    timer.OnTimer = [&] {
        ++calls;
        onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
        throw std::runtime_error("refill failed");
    };
    timer.AllowZero = true;
    timer.SetInterval(0);
    timer.SetEnabled(true);
    EXPECT_TRUE(ServeUntil([&] { return calls >= 3; }));
    EXPECT_TRUE(onMainThread);
    timer.SetThreadPriority(QThread::InheritPriority);
    EXPECT_EQ(timer.ThreadPriority(), QThread::IdlePriority) << "nothing to inherit once running";
    timer.SetEnabled(false);
    const int stopped = calls;
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    // A tick handed over just before is dropped, not run.
    EXPECT_EQ(calls, stopped);
}

TEST(ThreadedTimer, DestroyingReleasesAWorkerWaitingForItsHandOver) {
    int calls = 0;
    {
        TThreadedTimer timer;
        timer.OnTimer = [&] { ++calls; };
        timer.AllowZero = true;
        timer.SetInterval(0);
        timer.SetEnabled(true);
        // No events are served: the worker is left waiting on its tick.
        QThread::msleep(20);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
}

} // namespace
