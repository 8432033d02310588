#include "shell/Main.h"

#include "TestSupport.h"
#include "game/DDrawUnit.h"
#include "platform/input.h"
#include "platform/msgbox.h"
#include "platform/sysinfo.h"
#include "shell/DecodeUnit.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QTimer>
#include <gtest/gtest.h>
#include <algorithm>

namespace {

class MenuWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetDefaultDisplay(std::make_shared<THeadlessDisplay>(1024, 768, 32));
        SetInputOverride(&Input);
        SetMessageHandler([this](const std::string& text, TMsgDlgType, TMsgDlgButtons buttons) {
            Messages.push_back(text);
            return buttons == TMsgDlgButtons::YesNo ? Answer : mrOk;
        });
    }
    void TearDown() override {
        SetMessageHandler(nullptr);
        SetInputOverride(nullptr);
        SetDefaultDisplay(nullptr);
    }
    TTempProgramFolder Folder;
    TInputState Input;
    std::vector<std::string> Messages;
    int Answer = mrYes;
};

TEST_F(MenuWindowTest, CreationSizesTheWindowToThePictureAndPlacesItsParts) {
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), "Crumble Rush");
    const QSize picture = form.Image1->pixmap().size();
    ASSERT_FALSE(picture.isEmpty());
    EXPECT_EQ(form.centralWidget()->size(), picture);
    EXPECT_EQ(form.Shape1->geometry(), QRect(152, 268, 109, 53));
    EXPECT_FALSE(form.Panel2->isVisibleTo(&form));
    EXPECT_EQ(form.Panel2->x(), (picture.width() - 185) / 2);
    EXPECT_EQ(form.Panel2->y(), (picture.height() - 49) / 2);
    EXPECT_EQ(form.ActionStart->text(), "'Crumble Rush' spielen");
    EXPECT_EQ(form.ActionStart->shortcut(), QKeySequence(Qt::Key_F9));
    QStringList menus;
    for (QAction* action : form.menuBar()->actions()) menus << action->text();
    EXPECT_EQ(menus, QStringList({"&Datei", "&Spiel"}));
    EXPECT_TRUE(DirectoryExists(Folder.File("sps")) || DirectoryExists(Folder.File("SPS")));
}

TEST_F(MenuWindowTest, ClosingSavesBothRecords) {
    {
        TForm1 form;
        form.show();
        form.close();
    }
    EXPECT_EQ(ReadWholeFile(Folder.File("SPS/env.dat")).size(), 4764u);
    const std::string game = ReadWholeFile(Folder.File("SPS/game.dat"));
    ASSERT_EQ(game.size(), 116u);
    EXPECT_EQ(game.substr(0, 19), std::string("\x12") + "Game Datafile v2.0");
}

TEST_F(MenuWindowTest, FreeMemoryBoundaryIsNinetyThousandKB) {
    EXPECT_TRUE(EnoughFreeMemory(90000));
    EXPECT_FALSE(EnoughFreeMemory(89999));
    EXPECT_FALSE(EnoughFreeMemory(0));
    // A negative figure reads as a huge unsigned one and never asks.
    EXPECT_TRUE(EnoughFreeMemory(-1));
}

TEST_F(MenuWindowTest, SystemInformationGoesToTheLogWithPaddedLabels) {
    LogSystemInfo();
    const std::vector<std::string> lines = LogLines(Folder);
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(lines[0], "Retreiving system information...");
    EXPECT_TRUE(lines[1].starts_with("OSVersion:          "));
    EXPECT_TRUE(lines[7].starts_with("MemoryLoad:         "));
    EXPECT_TRUE(lines[15].starts_with("AtiveProcessorMask: "));
    EXPECT_TRUE(lines[18].starts_with("AllocationGranularity:"));
    EXPECT_NE(lines[18].substr(22, 1), " ");
    EXPECT_GT(FreeMemoryKB, 0);
}

TEST_F(MenuWindowTest, AStartWithAnUnknownDisplayModeRunsModeZeroAndReturns) {
    TForm1 form;
    form.SoundsReady = true;
    Env.DisplayMode = 7;
    uint8_t modeSeen = 99;
    QTimer::singleShot(150, [&] {
        if (DDFullScreenForm1) modeSeen = DDFullScreenForm1->DisplayMode;
        Input.Keys[VK_ESCAPE] = true;
    });
    form.ActionStartExecute();
    EXPECT_EQ(modeSeen, 0);
    EXPECT_EQ(DDFullScreenForm1, nullptr);
    const std::vector<std::string> lines = LogLines(Folder);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Program Version 1.05");
    EXPECT_EQ(lines.back(), "OK");
}

TEST_F(MenuWindowTest, ShortMemoryAsksAndANoStartsNoGame) {
    TMemoryStatus status;
    status.AvailPhys = 50000ull << 10;
    status.AvailVirtual = 39999ull << 10;  // together 89999 KB: one short
    SetMemoryStatusOverride(status);
    TForm1 form;
    form.SoundsReady = true;
    Answer = mrNo;
    form.ActionStartExecute();
    SetMemoryStatusOverride(std::nullopt);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "Es ist wahrscheinlich nicht genügend freier Speicher auf Ihrem System "
                           "verfügbar. Möchten Sie das Spiel trotzdem starten?");
    EXPECT_EQ(FreeMemoryKB, 89999);
    const std::vector<std::string> lines = LogLines(Folder);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Formshow: Start"), 0);
}

TEST_F(MenuWindowTest, AHugeVirtualAddressSpaceNeverWrapsIntoTheQuestion) {
    TMemoryStatus status;
    status.AvailPhys = 1ull << 40;
    status.AvailVirtual = 1ull << 47;
    SetMemoryStatusOverride(status);
    LogSystemInfo();
    SetMemoryStatusOverride(std::nullopt);
    EXPECT_TRUE(EnoughFreeMemory(FreeMemoryKB));
}

TEST_F(MenuWindowTest, AnUnwritableSaveFolderGivesAMessageAndTheMenuStaysUsable) {
    TForm1 form;
    form.SoundsReady = true;
    // A file where the folder should be makes every write into it fail.
    std::filesystem::remove_all(Folder.File("sps"));
    std::filesystem::remove_all(Folder.File("SPS"));
    WriteWholeFile(Folder.File("SPS"), "not a folder");
    form.ActionStartExecute();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_FALSE(Messages[0].empty());
    form.close();
    EXPECT_EQ(Messages.size(), 2u);  // the failed save is reported too
    EXPECT_TRUE(form.ActionStart->isEnabled());
}

}  // namespace
