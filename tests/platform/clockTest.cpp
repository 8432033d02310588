#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

uint32_t SteadyMs() {
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

TEST(Clock, InjectedClockAnswersTicksSleepAndBeep) {
    TManualClock manual(0xFFFFFFF0u);
    SetClock(&manual);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
    Sleep(0x20);
    EXPECT_EQ(GetTickCount(), 0x10u) << "the counter wraps like the original";
    manual.Advance(5);
    EXPECT_EQ(GetTickCount(), 0x15u);
    MessageBeep();
    MessageBeep();
    EXPECT_EQ(manual.Beeps.load(), 2);
    SetClock(nullptr);
    MessageBeep(); // the real beep again, which must not reach the manual clock
    EXPECT_EQ(manual.Beeps.load(), 2);
}

TEST(Clock, SystemTicksFollowTheSteadyClock) {
    TManualClock manual(7);
    SetClock(&manual);
    SetClock(nullptr);
    const uint32_t before = SteadyMs();
    const uint32_t ticks = GetTickCount();
    const uint32_t after = SteadyMs();
    EXPECT_LE(ticks - before, after - before);
    Sleep(0); // returns at once without a clock to advance
    EXPECT_LE(GetTickCount() - ticks, SteadyMs() - ticks);
}

} // namespace
