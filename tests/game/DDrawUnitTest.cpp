#include "game/DDrawUnit.h"

#include "TestSupport.h"
#include "gamelib/DDUtil.h"
#include "gamelib/vrDSound.h"
#include "gamelib/WaveRead.h"
#include "shell/DecodeUnit.h"
#include "platform/input.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <algorithm>

namespace {

class GameWindowTest : public ::testing::Test {
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
    void Play(const std::function<void(TDDFullScreenForm1*)>& whileRunning, int mode = 2) {
        auto* form = new TDDFullScreenForm1;
        Caption = form->windowTitle().toStdString();
        form->SetDisplayMode(static_cast<uint8_t>(mode));
        QTimer::singleShot(100, [form, whileRunning] { whileRunning(form); });
        form->ShowModal();
    }
    TTempProgramFolder Folder;
    TInputState Input;
    std::shared_ptr<THeadlessDisplay> Display = std::make_shared<THeadlessDisplay>(1024, 768, 32);
    std::string Caption;
};

// The display modes differ only below the game; one flow in each shows the game runs on all.
class GameWindowModes : public GameWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(GameWindowModes, EscapeLeadsThroughBackToOK) {
    int presentedBefore = 0;
    Play(
        [&](TDDFullScreenForm1*) {
            presentedBefore = Display->Presented;
            Input.Keys[VK_ESCAPE] = true;
        },
        GetParam());
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

TEST_F(GameWindowTest, AnExceptionInAFrameIsLoggedAndEndsInERROR) {
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

TEST_F(GameWindowTest, SetUpLoadsTheSoundFolderAndSetsTheVolumes) {
    CreateDir(Folder.Path + "/snd");
    // A small PCM wave: 16-byte format, four 8-bit samples (the least a buffer holds).
    const std::string wave =
        std::string("RIFF\x28\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0", 24) +
        std::string("\x40\x1F\0\0\x40\x1F\0\0\x01\0\x08\0data\x04\0\0\0\x80\x80\x80\x80", 24);
    WriteWholeFile(Folder.Path + "/snd/Back.wav", wave);
    WriteWholeFile(Folder.Path + "/snd/tipp.wav", wave);
    const TEnvData saved = Env;
    Env.MusicVolume = 64;
    Env.EffectsVolume = 10;
    for (const uint8_t soundOn : {1, 0}) {
        Env.SoundOn = soundOn;
        int32_t music = 1, effects = 1;
        TSoundStatus status = ssGenericError;
        Play([&](TDDFullScreenForm1*) {
            status = SoundEngine->Find("tipp").Status;
            if (status == ssOK) {
                SoundEngine->Find("back").Buffer->GetVolume(music);
                SoundEngine->Find("tipp").Buffer->GetVolume(effects);
            }
            Input.Keys[VK_ESCAPE] = true;
        });
        Input.Keys[VK_ESCAPE] = false;
        std::vector<std::string> lines = LogLines(Folder);
        const auto start = std::find(lines.begin(), lines.end(), "InitDDraw");
        ASSERT_NE(start, lines.end());
        const auto ok = std::find(start, lines.end(), "InitDDraw (Inherited) OK!");
        ASSERT_NE(ok, lines.end());
        const std::string loading = "Loading Sound " + Folder.Path + "\\snd\\";
        std::vector<std::string> expected = {"InitDDraw (Inherited) OK!", "1",
                                             loading + "Back.wav (48 bytes"};
        if (!soundOn) expected.push_back("disabled: ");
        expected.push_back(loading + "tipp.wav (48 bytes");
        if (!soundOn) expected.push_back("disabled: ");
        expected.insert(expected.end(), {"2a", "2b", "2c", "Formshow: End"});
        EXPECT_EQ(std::vector<std::string>(ok, ok + long(expected.size())), expected);
        if (soundOn) {
            EXPECT_EQ(status, ssOK);
            EXPECT_EQ(music, VolumeFromLevel(64));
            EXPECT_EQ(effects, VolumeFromLevel(10));
        } else {
            EXPECT_EQ(status, ssDisabled);
        }
        EXPECT_EQ(lines.back(), "OK");
        EraseLog();
    }
    Env = saved;
}

INSTANTIATE_TEST_SUITE_P(Modes, GameWindowModes, ::testing::Values(0, 1, 2));

} // namespace
