#include "gamelib/ThreadUnit.h"

#include "gamelib/frmDDFullScreen.h"
#include "platform/clock.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

// A window that only records the periods each frame carried.
class TRecordingForm : public TDDFullScreenForm {
  public:
    void ThreadNotify(int32_t frames) override { Calls.push_back(frames); }
    std::vector<int32_t> Calls;
};

class ThreadUnitTest : public ::testing::Test {
  protected:
    void SetUp() override { SetClock(&Clock); }
    void TearDown() override { SetClock(nullptr); }
    TTempProgramFolder Folder;
    TManualClock Clock{100000};
    TRecordingForm Form;
};

TEST_F(ThreadUnitTest, PeriodsKeepTheRemainderAndStopAtFifty) {
    TLoopThread thread(&Form);
    // The periods of a tick after ms more milliseconds, and the remainder kept.
    const auto tick = [&](uint32_t ms) {
        Clock.Advance(ms);
        const int32_t periods = thread.Tick();
        return std::make_pair(periods, thread.Elapsed);
    };
    // The first tick counts from zero: the surplus beyond 50 periods is dropped, only the
    // remainder below one period stays.
    EXPECT_EQ(tick(0), std::make_pair(50, 100000u % 20u));
    EXPECT_EQ(Form.Calls, std::vector<int32_t>{50});
    EXPECT_EQ(tick(19), std::make_pair(0, 19u));
    EXPECT_EQ(Form.Calls.size(), 1u); // no frame before a full period
    EXPECT_EQ(tick(1), std::make_pair(1, 0u));
    EXPECT_EQ(tick(5013), std::make_pair(50, 13u)); // a stall
    EXPECT_EQ(tick(7), std::make_pair(1, 0u));
}

TEST_F(ThreadUnitTest, SteadyFramesLoseNothingAndTheCounterWraps) {
    TLoopThread thread(&Form);
    thread.Tick();
    Form.Calls.clear();
    for (int i = 0; i < 8; ++i) {
        Clock.Advance(75);
        thread.Tick();
    }
    int total = 0;
    for (int32_t frames : Form.Calls) {
        EXPECT_TRUE(frames == 3 || frames == 4) << frames;
        total += frames;
    }
    // 600 ms are exactly 30 periods: nothing is lost while under the cap.
    EXPECT_EQ(total, 30);
    EXPECT_EQ(thread.Elapsed, 0u);

    Clock.Now = 0xFFFFFFF0u;
    thread.LastTick = 0xFFFFFFF0u;
    Clock.Advance(40); // wraps past zero
    EXPECT_EQ(thread.Tick(), 2);
    EXPECT_EQ(thread.Elapsed, 0u);
}

} // namespace
