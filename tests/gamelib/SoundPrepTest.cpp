#include "gamelib/SoundPrep.h"

#include "TestSupport.h"
#include "gamelib/Mp3Bytes.h"
#include "platform/clock.h"
#include "platform/msgbox.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class SoundPrepTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetClock(&Clock);
        ResetSoundPreparation();
        SetMessageHandler([this](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
            Messages.push_back(text);
            MessagesOverThePanel += Shown;
            return mrOk;
        });
        Progress.Start = [this](int count) {
            Count = count;
            Steps = 0;
            Shown = true;
            ++Starts;
        };
        Progress.Step = [this] { ++Steps; };
        Progress.Finish = [this] {
            EXPECT_TRUE(Shown) << "finished without a start";
            Shown = false;
        };
    }
    void TearDown() override {
        SetMessageHandler(nullptr);
        SetFreeSpaceFunction(nullptr);
        SetClock(nullptr);
    }
    void SetTime(const std::string& relative, int secondsAgo) {
        const auto path = std::filesystem::path(Folder.Path) / relative;
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() -
                                                   std::chrono::seconds(secondsAgo));
    }
    void InstallLibrary() {
        std::filesystem::copy_file(CRUMBLE_MPEGDLL, Folder.Path + "/mpegdll.so");
    }

    TManualClock Clock;
    TTempProgramFolder Folder;
    std::vector<std::string> Messages;
    int MessagesOverThePanel = 0;
    // What a menu would show: the panel while between Start and Finish, the gauge's range
    // and position.
    TSoundProgress Progress;
    bool Shown = false;
    int Starts = 0;
    int Count = 0;
    int Steps = 0;
};

TEST_F(SoundPrepTest, WorkListTakesMissingAndOlderWaves) {
    Folder.Put("snd/new.mp3", "x");
    Folder.Put("snd/older.mp3", "x");
    Folder.Put("snd/older.wav", "w");
    SetTime("snd/older.wav", 100);
    Folder.Put("snd/same.mp3", "x");
    Folder.Put("snd/same.wav", "w");
    SetTime("snd/same.mp3", 50);
    SetTime("snd/same.wav", 50);
    Folder.Put("snd/newer.mp3", "x");
    Folder.Put("snd/newer.wav", "w");
    SetTime("snd/newer.mp3", 100);
    Folder.Put("snd/alone.wav", "w");
    std::vector<std::string> pairs;
    for (const TSoundPair& pair : SoundWorkList())
        pairs.push_back(pair.Mp3FileName + " " + pair.WaveFileName);
    std::sort(pairs.begin(), pairs.end());
    const std::string snd = Folder.Path + "\\snd\\";
    EXPECT_EQ(pairs, (std::vector<std::string>{snd + "new.mp3 " + snd + "new.wav",
                                               snd + "older.mp3 " + snd + "older.wav"}));

    for (int i = 0; i < 101; ++i)
        Folder.Put("snd/many" + std::to_string(i) + ".mp3", "x");
    EXPECT_EQ(SoundWorkList().size(), MaxSoundPairs);
}

TEST_F(SoundPrepTest, TheLibraryIsNeededAndSpaceOfMoreThanTwentyTimesTheFile) {
    Folder.Put("snd/big.mp3", std::string(5000000, 'x'));
    int64_t free = 100000000;
    std::string asked;
    SetFreeSpaceFunction([&](const std::string& folder) {
        asked = folder;
        return free;
    });
    EXPECT_FALSE(HasSpaceFor(Folder.Path + "\\snd\\big.mp3"));
    EXPECT_EQ(std::filesystem::canonical(asked), std::filesystem::canonical(Folder.Path + "/snd"));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "Not enough space for sounds on drive " + MountPoint(Folder.Path));
    free = 100000001;
    EXPECT_TRUE(HasSpaceFor(Folder.Path + "\\snd\\big.mp3"));
    EXPECT_EQ(Messages.size(), 1u);

    // Without the library the sounds stay usable as they are, and that is told only once.
    EXPECT_TRUE(PrepareSounds(Progress));
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1], "Can't load MPEG library");
    EXPECT_FALSE(Shown);
    EXPECT_FALSE(PlayerLoaded());
    EXPECT_TRUE(PrepareSounds(Progress));
    EXPECT_EQ(Messages.size(), 2u);

    // Through the preparation: false, nothing converted, nothing written.
    InstallLibrary();
    free = 100000000;
    EXPECT_FALSE(PrepareSounds(Progress));
    EXPECT_FALSE(std::filesystem::exists(Folder.Path + "/snd/big.wav"));
    EXPECT_FALSE(Shown);
}

TEST_F(SoundPrepTest, AFailingFileIsReportedAndTheOthersConverted) {
    ASSERT_TRUE(LameAvailable()) << "lame is missing; ./crumble setup installs it";
    const std::string mp3 = EncodeSineMp3(Folder.Path, 440, 22050, 11025, 1);
    ASSERT_FALSE(mp3.empty());
    Folder.Put("snd/a.mp3", mp3);
    Folder.Put("snd/b.mp3", "Not an MP3 file, just some words.\n");
    Folder.Put("snd/c.mp3", mp3);
    InstallLibrary();

    EXPECT_TRUE(PrepareSounds(Progress));
    EXPECT_EQ(Count, 3);
    EXPECT_EQ(Steps, 2);
    EXPECT_EQ(MessagesOverThePanel, 1);
    EXPECT_FALSE(Shown);
    EXPECT_TRUE(std::filesystem::exists(Folder.Path + "/snd/a.wav"));
    EXPECT_TRUE(std::filesystem::exists(Folder.Path + "/snd/c.wav"));
    EXPECT_FALSE(std::filesystem::exists(Folder.Path + "/snd/b.wav"));
    const std::string expected =
        "MP3 conversion error on " + Folder.Path + "\\snd\\b.mp3\r\nInput stream error";
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], expected);
    EXPECT_NE(ReadWholeFile(Folder.File("SPS/LOG.TXT")).find(expected), std::string::npos);
    EXPECT_FALSE(PlayerLoaded()); // released again

    // The next activation neither converts nor asks again about the unchanged bad file.
    EXPECT_TRUE(PrepareSounds(Progress));
    EXPECT_EQ(Starts, 1);
    EXPECT_EQ(Messages.size(), 1u);
}

TEST_F(SoundPrepTest, AnInstalledGameConvertsIntoThePlayersFolder) {
    ASSERT_TRUE(LameAvailable()) << "lame is missing; ./crumble setup installs it";
    TOverlaidProgramFolder installed;
    const std::string mp3 = EncodeSineMp3(Folder.Path, 440, 22050, 11025, 1);
    ASSERT_FALSE(mp3.empty());
    installed.Program.Put("snd/Music.mp3", mp3);
    installed.Program.Put("snd/shot.wav", "effect");
    std::filesystem::copy_file(CRUMBLE_MPEGDLL, installed.Program.Path + "/mpegdll.so");
    const auto before = installed.ProgramFiles();

    EXPECT_TRUE(PrepareSounds(Progress));
    EXPECT_EQ(Steps, 1);
    EXPECT_TRUE(Messages.empty());
    EXPECT_GT(std::filesystem::file_size(installed.Player + "/snd/Music.wav"), 44u);
    EXPECT_EQ(installed.ProgramFiles(), before);
    EXPECT_TRUE(SoundWorkList().empty()) << "the player's wave counts as converted";
}

} // namespace
