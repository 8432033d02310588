// The MP3 codec driver through the codec manager and the wave reader, as the sound engine
// uses it.
#include "TestSupport.h"
#include "gamelib/Mp3Bytes.h"
#include "gamelib/WaveRead.h"
#include "platform/acm.h"
#include "platform/dl.h"

#include <gtest/gtest.h>

namespace {

// The usual MPEG layer 3 wave format: 18 bytes and 12 extra.
std::string Mp3Fmt(uint16_t channels, uint32_t rate, uint16_t extra = 12) {
    std::string body = FmtBody(WAVE_FORMAT_MPEGLAYER3, channels, rate, 8000, 1, 0) + Le16(extra);
    if (extra >= 12) body += Le16(1) + Le32(2) + Le16(209) + Le16(1) + Le16(1393);
    return body;
}

class l3codecxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(Library.Load(CRUMBLE_L3CODECX)) << Library.LastError();
        auto proc = Library.FindFunction<TACMDriverProc>("DriverProc");
        ASSERT_NE(proc, nullptr);
        ASSERT_EQ(acmDriverAddA(&Id, Library.Handle(), proc, 0, ACM_DRIVERADDF_FUNCTION), 0u);
        ASSERT_EQ(acmDriverOpen(&Driver, Id, 0), 0u);
    }
    void TearDown() override {
        if (Driver) acmDriverClose(Driver, 0);
        if (Id) acmDriverRemove(Id, 0);
    }
    std::string Decode(const std::string& wave, TWaveFormatEx& format) {
        TCustomMemoryWaveReadStream stream(wave.data(), uint32_t(wave.size()));
        TWavePCMReader reader(stream, Driver);
        format = reader.Format();
        std::string pcm, block(4096, '\0');
        while (uint32_t got = reader.Read(block.data(), uint32_t(block.size())))
            pcm.append(block, 0, got);
        return pcm;
    }
    TDynamicLibrary Library;
    HACMDRIVERID Id = nullptr;
    HACMDRIVER Driver = nullptr;
    TTempProgramFolder Folder;
};

TEST_F(l3codecxTest, DecodesMp3WaveData) {
    if (!LameAvailable()) GTEST_SKIP() << "lame is not installed";
    for (int channels : {1, 2}) {
        const std::string mp3 = EncodeSineMp3(Folder.Path, 440, 44100, 44100, channels);
        ASSERT_FALSE(mp3.empty());
        const std::string wave =
            Riff(Chunk("fmt ", Mp3Fmt(uint16_t(channels), 44100)) + Chunk("data", mp3));
        TWaveFormatEx format{};
        const std::string pcm = Decode(wave, format);
        EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(format.nChannels, channels);
        EXPECT_EQ(format.nSamplesPerSec, 44100u);
        EXPECT_EQ(format.wBitsPerSample, 16);
        EXPECT_NEAR(double(pcm.size()) / (2 * channels), 44100, 2 * 1152) << channels;
        EXPECT_NEAR(MeasuredFrequency(pcm, 44100, channels), 440, 3) << channels;
    }
}

TEST_F(l3codecxTest, RefusesWhatItCannotDecode) {
    // Without the extra bytes the format is not the MP3 wave format.
    const std::string noExtra = Riff(Chunk("fmt ", Mp3Fmt(1, 44100, 0)) + Chunk("data", "abc"));
    TWaveFormatEx format{};
    try {
        Decode(noExtra, format);
        ADD_FAILURE() << "decoded a format without its extra bytes";
    } catch (const EWaveError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Can't suggest pcm format (", 0), 0u);
    }
    // Noise declared as MP3 gives no sound and no crash.
    std::string noise;
    uint32_t x = 12345;
    for (int i = 0; i < 20000; ++i)
        noise += char((x = x * 1103515245 + 12345) >> 24);
    const std::string wave = Riff(Chunk("fmt ", Mp3Fmt(2, 44100)) + Chunk("data", noise));
    try {
        const std::string pcm = Decode(wave, format);
        EXPECT_LT(pcm.size(), 20000u * 24 * 4);
    } catch (const EWaveError& e) {
        EXPECT_STREQ(e.what(), "Unable to convert sample.");
    }
}

} // namespace
