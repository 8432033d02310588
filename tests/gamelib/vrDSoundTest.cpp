#include "gamelib/vrDSound.h"

#include "ErrorOf.h"
#include "TestSupport.h"
#include "WaveBytes.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <tuple>

namespace {

class SoundEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetDefaultSoundOutput(Output);
        CreateDir(Folder.Path + "/snd");
    }
    void TearDown() override {
        Engine.reset();
        SetDefaultSoundOutput(nullptr);
    }
    void Put(const std::string& name, const std::string& bytes) {
        WriteWholeFile(Folder.Path + "/snd/" + name, bytes);
    }
    // Sound name.wav of the folder, loaded with the others by an engine with sound on.
    TvrDSoundFile& Load(const std::string& name, const std::string& bytes) {
        Put(name + ".wav", bytes);
        Engine = std::make_unique<TvrDSound>(nullptr, true, false, 44100, 16, 2);
        Engine->LoadFolder(Snd(), 20000);
        return Engine->Find(name);
    }
    std::string Snd() const { return Folder.Path + "\\snd"; }
    // Plays on for ms milliseconds with a refill after every 2.5 s, as the timer would.
    void RunFor(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 2500) {
            Output->Render(2500);
            Engine->UpdateAll();
        }
    }
    TTempProgramFolder Folder;
    std::shared_ptr<TOfflineSoundOutput> Output = std::make_shared<TOfflineSoundOutput>();
    std::unique_ptr<TvrDSound> Engine;
};

TEST(VolumeFromLevel, FollowsTheSliderCurve) {
    // 100000 / 127 - 100000 / level hundredths of a decibel, within -10000 .. 0.
    EXPECT_EQ(VolumeFromLevel(-3), -10000);
    EXPECT_EQ(VolumeFromLevel(9), -10000);
    EXPECT_EQ(VolumeFromLevel(10), -9213);
    EXPECT_EQ(VolumeFromLevel(64), -775);
    EXPECT_EQ(VolumeFromLevel(127), 0);
    EXPECT_EQ(VolumeFromLevel(255), 0);
}

TEST_F(SoundEngineTest, LoadFolderLogsEachFileAndKeepsFailuresInert) {
    Put("bad.wav", "hello world!");
    Put("empty.wav", PcmWave(1, 8000, 8, ""));
    const std::string gsm =
        Riff(Chunk("fmt ", FmtBody(0x31, 1, 8000, 1625, 65, 0) + Le16(2) + Le16(320)) +
             Chunk("data", std::string(65, 'g')));
    Put("gsm.wav", gsm);
    Put("Track 30.wav", PcmWave(1, 8000, 16, std::string(200, '\x10')));
    Put("notes.txt", "not a sound");
    TvrDSound engine(nullptr, true, false, 44100, 16, 2);
    ASSERT_FALSE(engine.NotReady);
    EXPECT_EQ(engine.LoadFolder(Snd(), 20000), 4);
    const std::string prefix = "Loading Sound " + Snd() + "\\";
    EXPECT_EQ(LogLines(Folder),
              (std::vector<std::string>{
                  prefix + "bad.wav (12 bytes", "generic error: Not a wave file!",
                  prefix + "empty.wav (44 bytes", "DSCheck : -2147024809",
                  "An invalid parameter was passed to the returning function.",
                  "generic error: An invalid parameter was passed to the returning function.",
                  prefix + "gsm.wav (" + std::to_string(gsm.size()) + " bytes",
                  "unsupported wave format: Can't suggest pcm format (512). format=49 cbSize=2",
                  prefix + "Track 30.wav (244 bytes"}));
    ASSERT_EQ(engine.Sounds.size(), 4u); // failed sounds stay in the list, as the log says
    TvrDSoundFile& track = engine.Find("Track 30");
    EXPECT_EQ(&engine.Find("TRACK 30"), &track);
    // Static sounds keep only their buffer.
    EXPECT_EQ(std::make_tuple(track.Name, track.Status, track.Mode, track.BufferSize,
                              bool(track.WaveReader)),
              std::make_tuple(std::string("track 30"), ssOK, smStatic, 200u, false));
}

TEST_F(SoundEngineTest, WithSoundOffEveryFileIsStillOpenedAndDisabled) {
    Put("a.wav", PcmWave(1, 8000, 8, "abcd"));
    Put("b.wav", "RIFF");
    TvrDSound engine(nullptr, false, false, 44100, 16, 2);
    EXPECT_TRUE(engine.NotReady);
    EXPECT_EQ(engine.LoadFolder(Snd(), 20000), 2);
    const std::vector<std::string> lines = LogLines(Folder);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "disabled: ");
    EXPECT_EQ(lines[3], "generic error: Invalid multimedia file!");
    TvrDSoundFile& a = engine.Find("A");
    a.Loop = true;
    a.Play();
    EXPECT_FALSE(a.Playing);
    engine.SetVolumeAll(-500);
    EXPECT_TRUE(engine.RestoreAll());
}

TEST_F(SoundEngineTest, UnknownNamesShareOneInertPlaceholder) {
    TvrDSound engine(nullptr, true, false, 44100, 16, 2);
    TvrDSoundFile& placeholder = engine.Find("schussab");
    EXPECT_EQ(&engine.Find("Nothing Either"), &placeholder);
    EXPECT_EQ(engine.Sounds.size(), 1u);
    EXPECT_EQ(placeholder.Status, ssGenericError);
    EXPECT_EQ(placeholder.SourceInfo.SourceKind, srcResource);
    EXPECT_EQ(placeholder.LastError, "Resource x.x.x.x.x.x not found");
    EXPECT_NO_THROW({
        placeholder.Play();
        placeholder.Stop();
        placeholder.SetVolume(-100);
        placeholder.SetPan(500);
        placeholder.SetFrequency(22050);
    });
    TvrDSoundFile& copy = TvrDSoundFile::CreateDuplicate(placeholder);
    EXPECT_FALSE(copy.Buffer);
    EXPECT_TRUE(LogLines(Folder).empty());
}

TEST_F(SoundEngineTest, TwentySecondsAreStaticOneMillisecondMoreStreams) {
    Put("static.wav", PcmWave(1, 1000, 8, std::string(20000, '\x90')));
    TvrDSoundFile& streamed = Load("streamed", PcmWave(1, 1000, 8, std::string(20001, '\x90')));
    TvrDSoundFile& still = Engine->Find("static");
    EXPECT_EQ(std::make_tuple(still.Mode, still.BufferSize), std::make_tuple(smStatic, 20000u));
    // Ten seconds of ring, filled from the reader before the first play.
    EXPECT_EQ(std::make_tuple(streamed.Mode, streamed.BufferSize, bool(streamed.PCMReader),
                              streamed.Primed),
              std::make_tuple(smStreamed, 10000u, true, true));
    EXPECT_EQ(ErrorOf([&] { TvrDSoundFile::CreateDuplicate(streamed); }),
              "Can't duplicate a streaming buffer");
}

uint32_t PlayCursor(const TvrDSoundFile& sound) {
    uint32_t play = 0;
    sound.Buffer->GetCurrentPosition(&play, nullptr);
    return play;
}

bool BufferPlaying(const TvrDSoundFile& sound) {
    uint32_t status = 0;
    sound.Buffer->GetStatus(status);
    return status & DSBSTATUS_PLAYING;
}

TEST_F(SoundEngineTest, DuplicatesOverlapAndFindReturnsTheNewest) {
    TvrDSoundFile& original = Load("treffer", PcmWave(1, 8000, 16, std::string(16000, '\x20')));
    original.Play();
    Output->Render(100);
    EXPECT_GT(PlayCursor(original), 0u);
    original.Play(); // restarts from the beginning
    EXPECT_EQ(PlayCursor(original), 0u);
    EXPECT_FALSE(original.Playing);

    Output->Render(100);
    TvrDSoundFile& first = TvrDSoundFile::CreateDuplicate(original);
    TvrDSoundFile& second = TvrDSoundFile::CreateDuplicate(original);
    EXPECT_EQ(&Engine->Find("Treffer"), &second);
    second.Play();
    EXPECT_TRUE(BufferPlaying(original));
    EXPECT_GT(PlayCursor(original), 0u);
    EXPECT_EQ(PlayCursor(second), 0u);
    first.Destroy();
    EXPECT_EQ(Engine->Sounds.size(), 2u);
    EXPECT_EQ(&Engine->Find("treffer"), &second);
}

TEST_F(SoundEngineTest, LoopMakesAStaticSoundRepeatUntilStopped) {
    TvrDSoundFile& tipp = Load("tipp", PcmWave(1, 8000, 8, std::string(800, '\xC0'))); // 100 ms
    tipp.Loop = true;
    tipp.Play();
    EXPECT_TRUE(tipp.Playing);
    Output->Render(350);
    EXPECT_TRUE(BufferPlaying(tipp));
    EXPECT_FALSE(Engine->Timer->Enabled()); // static sounds need no refill
    tipp.Stop();
    EXPECT_FALSE(tipp.Playing);
    EXPECT_FALSE(BufferPlaying(tipp));
}

// The mix of the last 100 ms of the render is silent or not.
bool Silent(const std::vector<int16_t>& mix) {
    return std::all_of(mix.end() - 2 * 4410, mix.end(), [](int16_t s) { return s == 0; });
}

TEST_F(SoundEngineTest, StreamedSoundStopsOnceItsDataHasPlayed) {
    // 25 s at 1000 bytes a second through a 10 s ring.
    TvrDSoundFile& back = Load("back", PcmWave(1, 1000, 8, std::string(25000, '\xF0')));
    ASSERT_EQ(back.Mode, smStreamed);
    back.Play();
    EXPECT_TRUE(back.Playing);
    EXPECT_TRUE(Engine->Timer->Enabled());
    RunFor(22500);
    EXPECT_TRUE(back.Playing);
    EXPECT_TRUE(back.EndReached);
    EXPECT_NEAR(back.EndPos, 5000, 2);               // where the 25th second falls in the ring
    std::vector<int16_t> mix = Output->Render(2400); // up to 24.9 s: still the data
    EXPECT_FALSE(Silent(mix));
    mix = Output->Render(600); // from 25 s: silence
    EXPECT_TRUE(Silent(mix));
    Engine->UpdateAll();
    Output->Render(2500);
    Engine->UpdateAll();
    EXPECT_FALSE(back.Playing); // at most one refill of silence after the data
    EXPECT_FALSE(Engine->Timer->Enabled());
    EXPECT_FALSE(BufferPlaying(back));
    EXPECT_TRUE(back.Primed); // stopped, the ring holds the start again
}

TEST_F(SoundEngineTest, LoopedStreamRunsOnPastItsEnd) {
    TvrDSoundFile& back = Load("back", PcmWave(1, 1000, 8, std::string(21000, '\xF0')));
    back.Loop = true;
    back.Play();
    RunFor(50000);
    EXPECT_TRUE(back.Playing);
    EXPECT_FALSE(back.EndReached);
    EXPECT_FALSE(Silent(Output->Render(1000)));
}

TEST_F(SoundEngineTest, LostBuffersAreNotedAndRestoredLaterStaticSoundsReloaded) {
    std::string data;
    for (int i = 0; i < 400; ++i)
        data += char(i * 3);
    Put("tapp.wav", PcmWave(1, 8000, 16, data));
    TvrDSoundFile& back = Load("back", PcmWave(1, 1000, 8, std::string(30000, '\xF0')));
    TvrDSoundFile& tapp = Engine->Find("tapp");
    back.Loop = true;
    back.Play();
    Output->Render(2500);
    Engine->DirectSound->SetRestoreAllowed(false);
    Engine->DirectSound->LoseAllBuffers();
    EXPECT_NO_THROW(Engine->UpdateAll()); // lost during a refill
    EXPECT_TRUE(back.Lost);
    const std::vector<std::string> lines = LogLines(Folder);
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), "DSCheck : " + std::to_string(DSERR_BUFFERLOST)),
        lines.end());
    tapp.Play(); // cannot restore: nothing happens
    EXPECT_TRUE(tapp.Lost);
    EXPECT_FALSE(Engine->RestoreAll());
    Engine->DirectSound->SetRestoreAllowed(true);
    EXPECT_TRUE(Engine->RestoreAll());
    EXPECT_FALSE(back.Lost);
    EXPECT_TRUE(BufferPlaying(back)); // looping: played again
    EXPECT_FALSE(Silent(Output->Render(500)));
    TDSBufferLock lock(*tapp.Buffer, 0, 400);
    ASSERT_EQ(lock.Result(), DS_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(lock.First()), lock.FirstBytes()), data);
}

// That the built-in decoders stay in use beside the driver is the wave reader's to test.
TEST_F(SoundEngineTest, TheCodecDriverIsRegisteredForTheSoundsAndLetGoAgain) {
    TvrDSound engine(nullptr, true, false, 44100, 16, 2);
    const auto failure = [&](const std::string& file) {
        return ErrorOf([&] { engine.LoadACMDriver(file); });
    };
    EXPECT_EQ(failure("nothing.acm"), "Error loading ACM driver library");
    EXPECT_EQ(failure("libm.so.6"), "Could not get ACM driver procedure address");
    EXPECT_EQ(failure(CRUMBLE_TEST_DRIVER), "");
    EXPECT_NE(engine.ACMDriver, nullptr);

    Put("delta.wav", Riff(Chunk("fmt ", FmtBody(0xDE17, 1, 8000, 8000, 1, 8) + Le16(2) + Le16(0)) +
                          Chunk("data", std::string(800, '\x01'))));
    engine.LoadFolder(Snd(), 20000);
    EXPECT_EQ(engine.Find("delta").BufferSize, 1600u); // decoded to 16 bits
    EXPECT_NO_THROW(engine.UnloadACMDriver());
    EXPECT_EQ(engine.ACMDriver, nullptr);
}

} // namespace
