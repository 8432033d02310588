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
    // The first tick counts from zero: the surplus beyond 50 periods is dropped, only the
    // remainder below one period stays.
    EXPECT_EQ(thread.Tick(), 50);
    EXPECT_EQ(Form.Calls, std::vector<int32_t>{50});
    EXPECT_EQ(thread.Elapsed, 100000u % 20u);
    Clock.Advance(19);
    EXPECT_EQ(thread.Tick(), 0);
    EXPECT_EQ(Form.Calls.size(), 1u); // no frame before a full period
    EXPECT_EQ(thread.Elapsed, 19u);
    Clock.Advance(1);
    EXPECT_EQ(thread.Tick(), 1);
    EXPECT_EQ(thread.Elapsed, 0u);
    Clock.Advance(5013); // a stall
    EXPECT_EQ(thread.Tick(), 50);
    EXPECT_EQ(thread.Elapsed, 13u);
    Clock.Advance(7);
    EXPECT_EQ(thread.Tick(), 1);
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
