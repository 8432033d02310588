#include "game/DDrawUnit.h"

#include "TestSupport.h"
#include "gamelib/DDUtil.h"
#include "platform/input.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <algorithm>

namespace {

class GameWindowTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        SetDefaultDisplay(Display);
        SetInputOverride(&Input);
    }
    void TearDown() override {
        SetInputOverride(nullptr);
        SetDefaultDisplay(nullptr);
    }
    // Shows the window in the mode and runs it until it has closed.
    void Play(const std::function<void(TDDFullScreenForm1*)>& whileRunning) {
        auto* form = new TDDFullScreenForm1;
        Caption = form->windowTitle().toStdString();
        form->SetDisplayMode(static_cast<uint8_t>(GetParam()));
        QTimer::singleShot(100, [form, whileRunning] { whileRunning(form); });
        form->ShowModal();
    }
    TTempProgramFolder Folder;
    TInputState Input;
    std::shared_ptr<THeadlessDisplay> Display = std::make_shared<THeadlessDisplay>(1024, 768, 32);
    std::string Caption;
};

TEST_P(GameWindowTest, EscapeLeadsThroughBackToOK) {
    int presentedBefore = 0;
    Play([&](TDDFullScreenForm1*) {
        presentedBefore = Display->Presented;
        Input.Keys[VK_ESCAPE] = true;
    });
    EXPECT_EQ(Caption, "Crumble Rush");
    // The loader and some frames reached the screen before Escape.
    EXPECT_GT(presentedBefore, 1);
    const std::vector<std::string> lines = LogLines(Folder);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "OK");
    const auto back = std::find(lines.begin(), lines.end(), "Back: Stop flipping");
    const auto closeEnd = std::find(lines.begin(), lines.end(), "FormClose: End");
    EXPECT_NE(back, lines.end());
    EXPECT_LT(back, closeEnd);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "ERROR"), 0);
}

TEST_P(GameWindowTest, AnExceptionInAFrameIsLoggedAndEndsInERROR) {
    TDDSurfaceDesc locked;
    Play([&](TDDFullScreenForm1*) {
        // A locked back surface refuses the background copy of the next frame.
        DisplaySurfaces[1]->Lock(nullptr, locked, DDLOCK_WAIT);
    });
    const std::vector<std::string> lines = LogLines(Folder);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "ERROR");
    const auto report = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with(
            "Exception raised in Threadnotify while BackImageToSecondarySurface: ");
    });
    EXPECT_NE(report, lines.end());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "OK"), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, GameWindowTest, ::testing::Values(0, 1, 2));

}  // namespace
