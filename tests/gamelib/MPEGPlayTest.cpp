#include "gamelib/MPEGPlay.h"

#include "TestSupport.h"
#include "gamelib/Mp3Bytes.h"
#include "gamelib/WaveRead.h"
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string LibraryFolder = std::filesystem::path(CRUMBLE_MPEGDLL).parent_path().string();
const std::string ShortLibraryFolder =
    std::filesystem::path(CRUMBLE_MPEGDLL_NOSEEK).parent_path().string();

void ExpectError(const std::function<void()>& action, const std::string& message, uint8_t code) {
    try {
        action();
        ADD_FAILURE() << "no error, expected " << message;
    } catch (const TMPEGError& e) {
        EXPECT_EQ(e.what(), message);
        EXPECT_EQ(e.Code, code);
    }
}

void WaitDone(TMPEGPlayer& player) {
    while (!player.CheckDone())
        Sleep(5);
}

TEST(MPEGPlayTest, PropertiesAndLoadingTheWholeLibrary) {
    TMPEGPlayer player;
    EXPECT_EQ(player.LibraryPath(), "mpegdll.so");
    player.PathToDLL = "lib";
    EXPECT_EQ(player.LibraryPath(), "lib\\mpegdll.so");
    player.PathToDLL = "lib\\";
    EXPECT_EQ(player.LibraryPath(), "lib\\mpegdll.so");
    player.PathToDLL = "C:";
    EXPECT_EQ(player.LibraryPath(), "C:mpegdll.so");

    player.SetOutputDevice(TOutputDevice::pcmfile);
    EXPECT_EQ(player.OutputDevice(), TOutputDevice::wavemapper);
    player.OutFilename = "x.wav";
    player.SetOutputDevice(TOutputDevice::pcmfile);
    EXPECT_EQ(player.OutputDevice(), TOutputDevice::pcmfile);

    player.SetTimerFreq(50);
    player.SetUseTimer(true);
    player.SetTimerFreq(0);
    EXPECT_FALSE(player.UseTimer());

    EXPECT_EQ(player.PlayerPriority(), TPlayPriority::Normal);
    player.SetPlayerPriority(TPlayPriority::Idle);
    EXPECT_EQ(player.WindowsPriority(), -15);
    player.SetPlayerPriority(TPlayPriority::TimeCritical);
    EXPECT_EQ(player.WindowsPriority(), 15);
    EXPECT_EQ(player.PlayerPriority(), TPlayPriority::TimeCritical);

    // Nothing works before the library is loaded.
    ExpectError([&] { player.Open(); }, "MPEG library not loaded", 0);
    ExpectError([&] { player.CheckDone(); }, "MPEG library not loaded", 0);
    player.PathToDLL = "/nonexistent-folder";
    ExpectError([&] { player.LoadLib(); }, "Can't load MPEG library", 0);
    // A library lacking one of the names is not used at all.
    player.PathToDLL = ShortLibraryFolder;
    ExpectError([&] { player.LoadLib(); }, "MPEG library not loaded", 0);
    EXPECT_FALSE(player.Loaded());
    ExpectError([&] { player.Play(); }, "MPEG library not loaded", 0);

    player.PathToDLL = LibraryFolder;
    player.LoadLib();
    EXPECT_TRUE(player.Loaded());
    ExpectError([&] { player.Play(); }, "Can't play non-specified stream", 254);
    player.FreeLib();
    EXPECT_FALSE(player.Loaded());
}

class MPEGPlayDecodeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(LameAvailable()) << "lame is missing; ./crumble setup installs it";
        Mp3 = EncodeSineMp3(Folder.Path, 440, 22050, 22050, 1);
        ASSERT_FALSE(Mp3.empty());
        Folder.Put("sine.mp3", Mp3);
        Player.PathToDLL = LibraryFolder;
        Player.LoadLib();
    }
    void TearDown() override {
        if (Player.Loaded()) Player.FreeLib();
    }
    TTempProgramFolder Folder;
    std::string Mp3;
    TMPEGPlayer Player;
};

TEST_F(MPEGPlayDecodeTest, WritesTheSineAsWaveAndTheNextFileOfTheRunStartsAnew) {
    Player.SetStreamName(Folder.Path + "/sine.mp3");
    Player.OutFilename = Folder.Path + "/sine.wav";
    Player.SetOutputDevice(TOutputDevice::pcmfile);
    Player.Open();
    EXPECT_EQ(Player.PlayedXTimes, 1);
    EXPECT_NEAR(Player.Length(), 22050, 1152);
    Player.Play();
    WaitDone(Player);
    EXPECT_FALSE(Player.Playing());
    EXPECT_EQ(Player.GetCurrentPos(), Player.Length());

    TFileWaveReadStream stream(Folder.Path + "/sine.wav");
    TWavePCMReader reader(stream, nullptr);
    EXPECT_EQ(reader.Format().nSamplesPerSec, 22050u);
    EXPECT_EQ(reader.Format().nChannels, 1);
    std::string pcm(reader.Size(), '\0');
    pcm.resize(reader.Read(pcm.data(), uint32_t(pcm.size())));
    EXPECT_NEAR(double(pcm.size() / 2), 22050, 1152);
    EXPECT_NEAR(MeasuredFrequency(pcm, 22050, 1), 440, 3);
    EXPECT_FALSE(std::filesystem::exists(Folder.Path + "/sine.wav.part"));

    // A second play after the end restarts: the output stays where the first play put it.
    std::filesystem::remove(Folder.Path + "/sine.wav");
    Player.OutFilename = Folder.Path + "/other.wav";
    Player.Play();
    EXPECT_EQ(Player.PlayedXTimes, 3);
    WaitDone(Player);
    Player.Close();
    EXPECT_EQ(Player.PlayedXTimes, 0);
    EXPECT_TRUE(std::filesystem::exists(Folder.Path + "/sine.wav"));
    EXPECT_FALSE(std::filesystem::exists(Folder.Path + "/other.wav"));

    // The end of the file before does not count as the end of this one. A pipe in place of the
    // output holds the decoder at its start until a reader comes, so the answers right after
    // the start do not depend on how fast it decodes.
    const std::string part = Folder.Path + "/again.wav.part";
    ASSERT_EQ(mkfifo(part.c_str(), 0600), 0);
    Player.OutFilename = Folder.Path + "/again.wav";
    Player.Open();
    Player.Play();
    EXPECT_FALSE(Player.CheckDone());
    Player.Pause(true);
    EXPECT_TRUE(Player.Paused());
    const int pipeReader = open(part.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(pipeReader, 0);
    Player.Close();
    close(pipeReader);
    EXPECT_FALSE(std::filesystem::exists(Folder.Path + "/again.wav"));
}

TEST_F(MPEGPlayDecodeTest, FailuresCarryTheLibraryCode) {
    // The wave mapper is not offered.
    Player.SetStreamName(Folder.Path + "/sine.mp3");
    Player.Open();
    ExpectError([&] { Player.Play(); }, "Output device failure", 5);
    Player.Close();

    Folder.Put("text.mp3", "This is no MPEG audio at all, only a few words of text.\n");
    Player.SetStreamName(Folder.Path + "/text.mp3");
    ExpectError([&] { Player.Open(); }, "Input stream error", 3);
    Folder.Put("empty.mp3", "");
    Player.SetStreamName(Folder.Path + "/empty.mp3");
    ExpectError([&] { Player.Open(); }, "Input stream error", 3);
    Player.SetStreamName(Folder.Path + "/" + std::string(600, 'x') + ".mp3");
    ExpectError([&] { Player.Open(); }, "Input stream error", 3);

    // The finished file cannot take its name (a folder holds it): the part written is removed
    // and nothing appears under the name.
    std::filesystem::create_directory(Folder.Path + "/taken.wav");
    Player.SetStreamName(Folder.Path + "/sine.mp3");
    Player.OutFilename = Folder.Path + "/taken.wav";
    Player.SetOutputDevice(TOutputDevice::pcmfile);
    Player.Play();
    ExpectError([&] { WaitDone(Player); }, "Output device failure", 5);
    Player.Close();
    EXPECT_TRUE(std::filesystem::is_directory(Folder.Path + "/taken.wav"));
    EXPECT_FALSE(std::filesystem::exists(Folder.Path + "/taken.wav.part"));

    // Pausing needs a play.
    ExpectError([&] { Player.Pause(true); }, "Incorrect mode", 2);
}

TEST_F(MPEGPlayDecodeTest, TimerReportsProgressAndEnd) {
    Player.SetStreamName(Folder.Path + "/sine.mp3");
    Player.OutFilename = Folder.Path + "/sine.wav";
    Player.SetOutputDevice(TOutputDevice::pcmfile);
    Player.SetTimerFreq(5);
    Player.SetUseTimer(true);
    int updates = 0, ends = 0;
    Player.OnPosUpdate = [&](int32_t pos, int32_t len) {
        ++updates;
        EXPECT_LE(pos, len);
    };
    Player.OnPlayEnd = [&](TMPEGPlayer&) { ++ends; };
    Player.Play(); // opens on its own
    EXPECT_GE(updates, 1);
    while (Player.Playing()) {
        Sleep(5);
        Player.TimerTick();
    }
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(Player.Done()); // cleared for the end handler
}

} // namespace
