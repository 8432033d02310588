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
std::string Mp3Fmt(uint16_t channels, uint32_t rate, uint16_t extra = 12,
                   uint32_t averageBytes = 8000) {
    std::string body =
        FmtBody(WAVE_FORMAT_MPEGLAYER3, channels, rate, averageBytes, 1, 0) + Le16(extra);
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
    ASSERT_TRUE(LameAvailable()) << "lame is missing; ./crumble setup installs it";
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
        EXPECT_NEAR(double(pcm.size()) / (2 * channels), 44100, 1152) << channels;
        EXPECT_NEAR(MeasuredFrequency(pcm, 44100, channels), 440, 3) << channels;
    }
}

TEST_F(l3codecxTest, DecodesToTheEndWhateverTheBatchesHold) {
    ASSERT_TRUE(LameAvailable()) << "lame is missing; ./crumble setup installs it";
    const std::string mp3 = EncodeSineMp3(Folder.Path, 440, 44100, 3 * 44100, 1);
    ASSERT_FALSE(mp3.empty());
    // A header that understates the byte rate makes batches of 50 bytes, most of them too
    // short for a whole frame: they give nothing yet, and the data goes on.
    const std::string wave = Riff(Chunk("fmt ", Mp3Fmt(1, 44100, 12, 100)) + Chunk("data", mp3));
    TWaveFormatEx format{};
    const std::string pcm = Decode(wave, format);
    EXPECT_NEAR(double(pcm.size()) / 2, 3 * 44100, 1152);

    // Samples the driver holds back for want of room come out when the source has ended.
    const TWaveFormatEx pcmFormat{WAVE_FORMAT_PCM, 1, 44100, 88200, 2, 16, 0};
    const std::string fmt = Mp3Fmt(1, 44100);
    HACMSTREAM stream = nullptr;
    ASSERT_EQ(acmStreamOpen(&stream, Driver, reinterpret_cast<const TWaveFormatEx*>(fmt.data()),
                            &pcmFormat, nullptr, 0, 0, 0),
              MMSYSERR_NOERROR);
    std::string source = mp3, room(4096, '\0');
    TACMStreamHeader header;
    header.pbSrc = reinterpret_cast<uint8_t*>(source.data());
    header.cbSrcLength = uint32_t(source.size());
    header.pbDst = reinterpret_cast<uint8_t*>(room.data());
    header.cbDstLength = uint32_t(room.size());
    ASSERT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_START), MMSYSERR_NOERROR);
    EXPECT_EQ(header.cbSrcLengthUsed, source.size());
    uint64_t decoded = header.cbDstLengthUsed;
    EXPECT_EQ(decoded, room.size()) << "more than fits";
    header.cbSrcLength = 0;
    for (int calls = 0; calls < 1000; ++calls) {
        ASSERT_EQ(acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_END), MMSYSERR_NOERROR);
        if (header.cbDstLengthUsed == 0) break;
        decoded += header.cbDstLengthUsed;
    }
    EXPECT_NEAR(double(decoded) / 2, 3 * 44100, 1152);
    header.cbSrcLength = uint32_t(source.size());
    ASSERT_EQ(acmStreamUnprepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
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
