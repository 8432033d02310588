#include "gamelib/frmDDFullScreen.h"

#include "TestSupport.h"
#include "gamelib/DDUtil.h"
#include "gamelib/EngineState.h"
#include "platform/input.h"

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <tuple>

namespace {

// Runs a few frames, then leaves as the game states do.
class TTestForm : public TDDFullScreenForm {
  public:
    void ThreadNotify(int32_t frames) override {
        Periods += frames;
        ++Frames;
        if (Frames == FramesToRun) {
            Closing = true;
            Back();
        }
    }
    int Frames = 0;
    int Periods = 0;
    int FramesToRun = 3;

  protected:
    void FormShow() override {
        TDDFullScreenForm::FormShow();
        SetFlipping(true);
    }
};

// The window's own trail: what image loading and activation add in between is left out.
std::vector<std::string> Trail(const TTempProgramFolder& folder) {
    std::vector<std::string> lines = LogLines(folder);
    std::erase_if(lines, [](const std::string& line) {
        return line.starts_with("FormActivate") || line.ends_with(" not found!") ||
               line.ends_with(" loaded as file");
    });
    return lines;
}

class FullScreenFormTest : public ::testing::Test {
  protected:
    void SetUp() override { SetDefaultDisplay(Display); }
    void TearDown() override { SetDefaultDisplay(nullptr); }
    TTempProgramFolder Folder;
    std::shared_ptr<THeadlessDisplay> Display = std::make_shared<THeadlessDisplay>(1024, 768, 32);
};

// The whole trail of a window shown and left after a few frames: the set-up steps of its
// display mode between those every mode takes, then the loop's start and the close.
std::vector<std::string> ShowTrail(std::vector<std::string> steps) {
    steps.insert(steps.begin(), {"Formshow: Start", "InitDDraw (Inherited)", "-1", "0"});
    steps.insert(steps.end(), {"16",
                               "17",
                               "18",
                               "19",
                               "20",
                               "21",
                               "InitDDraw (Inherited) OK!",
                               "Formshow: End",
                               "SetFlipping Begin",
                               "SetFlipping CreateThread",
                               "CreateThread Begin",
                               "CreateThread End",
                               "SetFlipping End",
                               "Back: Start",
                               "Back: Stop flipping",
                               "SetFlipping Begin",
                               "SetFlipping Terminate",
                               "SetFlipping End",
                               "Back: End",
                               "DestroyThread Begin",
                               "DestroyThread End",
                               "FormClose: Start",
                               "FormClose: End",
                               "OK",
                               "Formdestroy: Start",
                               "Freeddraw: Start",
                               "Freeddraw: End",
                               "Formdestroy: End",
                               "OK"});
    return steps;
}

TEST_F(FullScreenFormTest, WindowedModeWritesTheWholeTrailAndEndsWithOK) {
    auto* form = new TTestForm;
    form->SetDisplayMode(DisplayModeWindow);
    form->ShowModal();
    EXPECT_EQ(Trail(Folder), ShowTrail({"1", "2", "3", "4", "5", "6", "7", "6", "7"}));
    // Windowed mode never changes the display mode.
    EXPECT_FALSE(Display->ModeSet);
    EXPECT_GT(Display->Presented, 0);
}

TEST_F(FullScreenFormTest, FullscreenModeChangesTheDisplayModeAndFlips) {
    auto* form = new TTestForm;
    form->FramesToRun = 5;
    form->ShowModal();
    EXPECT_EQ(Trail(Folder), ShowTrail({"8", "10", "11", "12", "13"}));
    EXPECT_EQ(std::make_tuple(Display->ModeWidth, Display->ModeHeight, Display->ModeBits),
              std::make_tuple(800, 600, 16));
}

TEST_F(FullScreenFormTest, DesktopModeCentresTheImageWithViewOffsets) {
    auto* form = new TTestForm;
    form->SetDisplayMode(DisplayModeDesktop);
    form->FramesToRun = 1;
    std::tuple<int32_t, int32_t, size_t> seen; // the view offsets and the display surfaces
    QTimer::singleShot(0, [&] { seen = {ViewOffsetX, ViewOffsetY, DisplaySurfaces.size()}; });
    form->ShowModal();
    EXPECT_EQ(seen, std::make_tuple(112, 84, size_t(2)));
    EXPECT_EQ(Trail(Folder), ShowTrail({"8", "9", "10", "11", "12", "13", "14", "15"}));
    EXPECT_FALSE(Display->ModeSet);
}

TEST_F(FullScreenFormTest, DesktopModeOnASmallDesktopFallsBackToAModeChange) {
    SetDefaultDisplay(std::make_shared<THeadlessDisplay>(640, 480, 32));
    auto* form = new TTestForm;
    form->SetDisplayMode(DisplayModeDesktop);
    uint8_t modeSeen = 1;
    QTimer::singleShot(0, [&] { modeSeen = form->DisplayMode; });
    form->ShowModal();
    EXPECT_EQ(modeSeen, 0);
    EXPECT_EQ(Trail(Folder), ShowTrail({"8", "10", "11", "12", "13"})); // the full-screen steps
}

TEST_F(FullScreenFormTest, ACloseRequestFromOutsideOnlySetsClosing) {
    auto* form = new TTestForm;
    form->SetDisplayMode(DisplayModeWindow);
    form->FramesToRun = -1;             // never leaves by itself
    std::pair<bool, bool> afterRequest; // closing, and still shown
    QTimer::singleShot(50, [&] {
        form->close();
        afterRequest = {form->Closing, form->isVisible()};
        form->Back();
    });
    form->ShowModal();
    EXPECT_EQ(afterRequest, std::make_pair(true, true));
    const std::vector<std::string> lines = Trail(Folder);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "FormClose: Reclose"), lines.end());
    EXPECT_EQ(lines.back(), "OK");
}

// Set up without showing: the drawing steps on their own.
class FullScreenStepsTest : public FullScreenFormTest {
  protected:
    void SetUp() override {
        FullScreenFormTest::SetUp();
        Form = std::make_unique<TTestForm>();
        Form->SetDisplayMode(DisplayModeWindow);
        Form->InitDDraw();
    }
    void TearDown() override {
        SetInputOverride(nullptr);
        Form.reset();
        FullScreenFormTest::TearDown();
    }
    std::unique_ptr<TTestForm> Form;
};

TEST_F(FullScreenStepsTest, AnExactClientAreaWhoseBackgroundShiftsLeftWithWrapAround) {
    EXPECT_EQ(Form->width(), 800);
    EXPECT_EQ(Form->height(), 600);
    ASSERT_EQ(DisplaySurfaces.size(), 2u);
    EXPECT_EQ(DisplaySurfaces[0]->Width(), 800);
    EXPECT_EQ(ScreenHeight, 600);
    ASSERT_EQ(BackgroundSurface->Format().RGBBitCount, 32u);
    {
        const TSurfaceLock lock(*BackgroundSurface);
        ASSERT_TRUE(lock.Locked());
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 800; ++x) {
                const uint32_t value = static_cast<uint32_t>(x);
                std::memcpy(lock.Row(y) + 4 * x, &value, 4);
            }
    }

    Form->BackgroundOffset = 100;
    Form->DrawBackground();
    const TDirectDrawSurface& back = *DisplaySurfaces[1];
    EXPECT_EQ(PixelAt(back, 0, 0), 100u);
    EXPECT_EQ(PixelAt(back, 699, 599), 799u);
    EXPECT_EQ(PixelAt(back, 700, 0), 0u);
    EXPECT_EQ(PixelAt(back, 799, 300), 99u);

    Form->BackgroundOffset = 0;
    Form->DrawBackground();
    EXPECT_EQ(PixelAt(back, 0, 0), 0u);
    EXPECT_EQ(PixelAt(back, 799, 599), 799u);

    Form->BackgroundOn = false;
    Form->BackgroundOffset = 5;
    Form->DrawBackground();
    EXPECT_EQ(PixelAt(back, 0, 0), 0u);
}

TEST_F(FullScreenStepsTest, MouseIsRelativeToTheClientAreaInAWindow) {
    TInputState input;
    input.ClientOrigin = {100, 50};
    SetInputOverride(&input);
    // The position, whether inside, and the movement summed since the set-up.
    const auto mouse = [&](TPoint cursor) {
        input.Cursor = cursor;
        Form->UpdateMouse();
        return std::make_tuple(Form->MouseX, Form->MouseY, Form->MouseInside, Form->AccumX,
                               Form->AccumY);
    };
    // The first position has no previous one to move from.
    EXPECT_EQ(mouse({500, 400}), std::make_tuple(400, 350, true, 0, 0));
    EXPECT_EQ(mouse({900, 651}), std::make_tuple(800, 601, false, 400, 251)); // just outside
    EXPECT_EQ(mouse({900, 650}), std::make_tuple(800, 600, true, 400, 250));  // still inside
}

TEST_F(FullScreenStepsTest, LostSurfacesAreRestoredAndSheetsReloadedWithALogLineEach) {
    WriteSheet(Folder, "sheet", 64, 32, 0xC86432);
    PDirectDrawSurface surface;
    int32_t w = 0, h = 0;
    ASSERT_EQ(CreateMemSurface("gfx\\sb\\sheet.bmp", w, h, surface, 0, false), 1);
    Colorfill(surface, 0); // what a restored surface may hold
    w = h = 16;
    ASSERT_EQ(CreateMemSurface("", w, h, surface, DDSCAPS_SYSTEMMEMORY, false), 2);
    Form->Engine->LoseSurfaces();
    EXPECT_EQ(DisplaySurfaces[1]->IsLost(), DDERR_SURFACELOST);
    ASSERT_TRUE(Form->RestoreSurfaces());
    EXPECT_FALSE(SurfaceLost);
    for (const PDirectDrawSurface& surface :
         {DisplaySurfaces[0], DisplaySurfaces[1], BackgroundSurface, SurfaceTable[1].Surface,
          SurfaceTable[2].Surface})
        EXPECT_EQ(surface->IsLost(), DD_OK);
    const std::vector<std::string> lines = LogLines(Folder);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "gfx\\sb\\sheet.bmp reload"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), " reload"), 1); // a blank sheet has no name
    // The reloaded sheet holds its picture again, not the black of a restored surface.
    uint32_t sum = 0;
    for (int x = 0; x < 64; ++x)
        sum |= PixelAt(*SurfaceTable[1].Surface, x, 16) & 0xFFFFFF;
    EXPECT_EQ(sum, 0xC86432u);
}

} // namespace
