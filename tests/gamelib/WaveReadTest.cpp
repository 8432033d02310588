#include "gamelib/WaveRead.h"

#include "ErrorOf.h"
#include "TestSupport.h"
#include "WaveBytes.h"
#include "platform/dl.h"
#include "shell/Tools.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <vector>

namespace {

std::string FmtChunk(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg, uint16_t align,
                     uint16_t bits, const std::string& extra) {
    return Chunk("fmt ", FmtBody(tag, channels, rate, avg, align, bits) +
                             Le16(uint32_t(extra.size())) + extra);
}

std::vector<int16_t> ReadAllSamples(TWavePCMReader& reader) {
    std::vector<int16_t> samples;
    uint8_t buffer[4096];
    while (const uint32_t got = reader.Read(buffer, sizeof(buffer))) {
        const size_t at = samples.size();
        samples.resize(at + got / 2);
        std::memcpy(samples.data() + at, buffer, got);
    }
    return samples;
}

TEST(WaveRead, PcmWaveIsHandedOutUnchangedInWholeBlocks) {
    const std::string data = "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A";
    // A chunk of odd length with its pad byte before the format, and one after the data.
    const std::string wave =
        Riff(Chunk("LIST", "abc") + Chunk("fmt ", FmtBody(1, 2, 22050, 88200, 4, 16)) +
             Chunk("data", data) + Chunk("junk", "trailing bytes that are not sound"));
    TCustomMemoryWaveReadStream stream(wave.data(), uint32_t(wave.size()));
    EXPECT_EQ(stream.DataOffset(), 12u + 12 + 24 + 8);
    EXPECT_EQ(stream.Size(), 10u);
    EXPECT_EQ(stream.Format().cbSize, 0);

    TWavePCMReader reader(stream, nullptr);
    EXPECT_FALSE(reader.Converted());
    EXPECT_EQ(reader.Size(), 10u);
    EXPECT_EQ(std::memcmp(&reader.Format(), wave.data() + 12 + 12 + 8, 16), 0);
    EXPECT_EQ(reader.Format().cbSize, 0);

    uint8_t out[64] = {};
    EXPECT_EQ(reader.Read(out, 3), 0u); // less than one frame
    EXPECT_EQ(reader.Read(out, 7), 4u);
    // The data ends mid-frame and nothing of the chunk behind it is read.
    EXPECT_EQ(reader.Read(out + 4, sizeof(out) - 4), 4u);
    EXPECT_EQ(reader.Read(out + 8, sizeof(out) - 8), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 8), data.substr(0, 8));
    EXPECT_EQ(reader.Position(), 8u);
    reader.Rewind();
    EXPECT_EQ(reader.Read(out, 4), 4u);
    EXPECT_EQ(out[0], 1);
}

TEST(WaveRead, DamagedFilesAreRefusedWithTheirMessage) {
    const std::string fmt = Chunk("fmt ", FmtBody(1, 1, 8000, 8000, 1, 8));
    const std::string data = Chunk("data", "abcd");
    const std::string hugeFmt = "fmt " + Le32(0x7FFFFFF0) + FmtBody(1, 1, 8000, 8000, 1, 8);
    const std::string wrapping = "junk" + Le32(0xFFFFFFFF) + fmt + data;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "Invalid multimedia file!"},
        {"RIFF\x04", "Invalid multimedia file!"},
        {"RIFF" + Le32(4), "Invalid multimedia file!"},
        {"RIFX" + Le32(4) + "WAVE" + fmt + data, "Not a wave file!"},
        {Riff(fmt + data, "AVI "), "Not a wave file!"},
        {Riff(data), "Couldn't find 'fmt' chunk!"},
        {Riff(Chunk("fmt ", "short") + data), "Error reading 'fmt' chunk!"},
        {Riff(hugeFmt), "Error reading 'fmt' chunk!"},
        {Riff(wrapping), "Couldn't find 'fmt' chunk!"},
        {Riff(Chunk("fmt ", FmtBody(1, 1, 8000, 8000, 0, 8)) + data),
         "Invalid wave format: block alignment 0!"},
        {Riff(fmt), "Couldn't find 'data' chunk!"},
    };
    for (const auto& [bytes, message] : cases)
        EXPECT_EQ(ErrorOf<EWaveError>(
                      [&] { TCustomMemoryWaveReadStream(bytes.data(), uint32_t(bytes.size())); }),
                  message)
            << "bytes: " << bytes.size();
}

TEST(WaveRead, ACutFileHandsOutWhatItHolds) {
    // Stated: 1000 bytes of 16-bit stereo. Held: 10 bytes, two and a half frames.
    const std::string wave = "RIFF" + Le32(4 + 24 + 8 + 1000) + "WAVE" +
                             Chunk("fmt ", FmtBody(1, 2, 8000, 32000, 4, 16)) + "data" +
                             Le32(1000) + std::string(10, '\x01');
    TCustomMemoryWaveReadStream stream(wave.data(), uint32_t(wave.size()));
    EXPECT_EQ(stream.Size(), 10u);
    TWavePCMReader reader(stream, nullptr);
    std::vector<uint8_t> out(1000);
    EXPECT_EQ(reader.Read(out.data(), 1000), 8u) << "whole frames";
    EXPECT_EQ(reader.Read(out.data(), 1000), 0u);
}

TEST(WaveRead, FileAndResourceVariants) {
    TTempProgramFolder folder;
    WriteWholeFile(folder.Path + "/Tone.WAV", PcmWave(1, 8000, 8, "xyz"));
    TFileWaveReadStream stream("tone.wav");
    uint8_t out[8];
    EXPECT_EQ(stream.Read(out, 8), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "xyz");
    stream.Rewind();
    EXPECT_EQ(stream.Read(out, 2), 2u);

    EXPECT_EQ(ErrorOf<EWaveError>([] { TFileWaveReadStream("none.wav"); }),
              "Can't open file stream.");
    EXPECT_THROW(TResourceWaveReadStream("X.X.X.X.X.X", "WAVE"), EResNotFound);
}

// The codec values themselves are the ACM layer's to test; here: that a compressed wave gets
// there whole, its format's extra bytes included, and comes back as 16-bit PCM.
TEST(WavePCMReader, ACompressedWaveIsConvertedThroughTheCodecLayer) {
    // MS ADPCM with its seven pairs, the largest format there is. One block: pair 0 (256, 0)
    // repeats the last sample, delta 16, samples 50 then 100, nibbles 1, 2, -1, 0.
    const std::string pairs = Le16(256) + Le16(0) + Le16(512) + Le16(-256 & 0xFFFF) + Le16(0) +
                              Le16(0) + Le16(192) + Le16(64) + Le16(240) + Le16(0) + Le16(460) +
                              Le16(-208 & 0xFFFF) + Le16(392) + Le16(-232 & 0xFFFF);
    const std::string block = std::string("\0", 1) + Le16(16) + Le16(100) + Le16(50) + "\x12\xF0";
    const std::string wave =
        Riff(FmtChunk(2, 1, 8000, 12000, 9, 4, Le16(6) + Le16(7) + pairs) + Chunk("data", block));
    TCustomMemoryWaveReadStream stream(wave.data(), uint32_t(wave.size()));
    TWavePCMReader reader(stream, nullptr);
    EXPECT_TRUE(reader.Converted());
    const TWaveFormatEx& pcm = reader.Format();
    // Tag, channels, rate, bits and block alignment.
    EXPECT_EQ((std::vector<uint32_t>{pcm.wFormatTag, pcm.nChannels, pcm.nSamplesPerSec,
                                     pcm.wBitsPerSample, pcm.nBlockAlign}),
              (std::vector<uint32_t>{WAVE_FORMAT_PCM, 1, 8000, 16, 2}));
    EXPECT_EQ(reader.Size(), 12u);
    EXPECT_EQ(ReadAllSamples(reader), (std::vector<int16_t>{50, 100, 116, 148, 132, 132}));
}

TEST(WavePCMReader, UndecodableFormatsAndZeroByteRate) {
    const std::string gsm =
        Riff(FmtChunk(0x31, 1, 8000, 1625, 65, 0, Le16(320)) + Chunk("data", std::string(65, 'g')));
    TCustomMemoryWaveReadStream gsmStream(gsm.data(), uint32_t(gsm.size()));
    EXPECT_EQ(ErrorOf<EWaveError>([&] { TWavePCMReader(gsmStream, nullptr); }),
              "Can't suggest pcm format (512). format=49 cbSize=2");
    const std::string noRate = Riff(FmtChunk(7, 1, 8000, 0, 1, 8, "") + Chunk("data", "ab"));
    TCustomMemoryWaveReadStream noRateStream(noRate.data(), uint32_t(noRate.size()));
    EXPECT_EQ(ErrorOf<EWaveError>([&] { TWavePCMReader(noRateStream, nullptr); }),
              "Average bytes per second = 0");
}

// IMA ADPCM of many blocks: several batches of conversion.
std::string LongImaWave(int blocks) {
    std::string data;
    for (int b = 0; b < blocks; ++b) {
        data += Le16(uint32_t(b * 37 % 2000)) + char(b % 40) + '\0';
        for (int i = 0; i < 32; ++i)
            data += char((b * 7 + i * 13) & 0xFF);
    }
    // 36-byte blocks of 65 samples at 8 kHz.
    return Riff(FmtChunk(0x11, 1, 8000, 8000 * 36 / 65, 36, 4, Le16(65)) + Chunk("data", data));
}

TEST(WavePCMReader, ACutCompressedWaveConvertsItsLastBlockAsFarAsItGoes) {
    // Three blocks of 36 bytes; the file ends 18 bytes into the third.
    const std::string ima = LongImaWave(3);
    const std::string cut = ima.substr(0, ima.size() - 18);
    TCustomMemoryWaveReadStream whole(ima.data(), uint32_t(ima.size()));
    TCustomMemoryWaveReadStream cutStream(cut.data(), uint32_t(cut.size()));
    EXPECT_EQ(cutStream.Size(), 3u * 36 - 18);
    TWavePCMReader wholeReader(whole, nullptr);
    TWavePCMReader cutReader(cutStream, nullptr);
    const std::vector<int16_t> all = ReadAllSamples(wholeReader);
    const std::vector<int16_t> some = ReadAllSamples(cutReader);
    // Of the third block: its header's sample and eight per whole 4-byte word of the 14 bytes
    // held behind the header.
    EXPECT_EQ(some.size(), 2u * 65 + 1 + 8 * 3);
    ASSERT_LE(some.size(), all.size());
    EXPECT_TRUE(std::equal(some.begin(), some.end(), all.begin())) << "the same samples, fewer";
}

TEST(WavePCMReader, OddRequestSizesHandOutEveryByteOnceInOrder) {
    const std::string wave = LongImaWave(700);
    TCustomMemoryWaveReadStream wholeStream(wave.data(), uint32_t(wave.size()));
    TWavePCMReader whole(wholeStream, nullptr);
    std::vector<uint8_t> expected(2 * 65 * 700 + 64);
    ASSERT_EQ(whole.Read(expected.data(), uint32_t(expected.size())), 2u * 65 * 700);
    expected.resize(2 * 65 * 700);
    // The estimate: destination per batch times the data over the source per batch.
    EXPECT_EQ(whole.Size(),
              uint64_t(whole.DestBufferLength()) * 36 * 700 / whole.SourceBufferLength());
    EXPECT_GT(whole.SourceBufferLength(), 0u);
    EXPECT_LT(whole.SourceBufferLength(), 36u * 700 / 2); // more than two batches

    TCustomMemoryWaveReadStream pieceStream(wave.data(), uint32_t(wave.size()));
    TWavePCMReader pieces(pieceStream, nullptr);
    std::vector<uint8_t> got;
    const uint32_t sizes[] = {7, 1, 333, 2, 4097, 18, 5};
    for (size_t i = 0;; ++i) {
        uint8_t buffer[5000];
        const uint32_t n = pieces.Read(buffer, sizes[i % 7]);
        EXPECT_EQ(n % 2, 0u);
        if (n == 0 && sizes[i % 7] >= 2) break;
        got.insert(got.end(), buffer, buffer + n);
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(pieces.Position(), expected.size());
}

// The test driver's running sums carry over between conversions unless one starts anew.
class WavePCMReaderDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(Library.Load(CRUMBLE_TEST_DRIVER));
        auto proc = Library.FindFunction<TACMDriverProc>("DriverProc");
        ASSERT_EQ(acmDriverAdd(&Id, Library.Handle(), proc, 0, ACM_DRIVERADDF_FUNCTION), 0u);
        ASSERT_EQ(acmDriverOpen(&Driver, Id, 0), 0u);
    }
    void TearDown() override {
        acmDriverClose(Driver, 0);
        acmDriverRemove(Id, 0);
    }
    TDynamicLibrary Library;
    HACMDRIVERID Id = nullptr;
    HACMDRIVER Driver = nullptr;
};

TEST_F(WavePCMReaderDriver, RewindStartsTheConversionAnew) {
    const std::string wave = Riff(FmtChunk(0xDE17, 1, 8000, 8000, 1, 8, Le16(0)) +
                                  Chunk("data", std::string(10000, '\x01')));
    TCustomMemoryWaveReadStream stream(wave.data(), uint32_t(wave.size()));
    TWavePCMReader reader(stream, Driver);
    ASSERT_TRUE(reader.Converted());
    std::vector<int16_t> first = ReadAllSamples(reader);
    ASSERT_EQ(first.size(), 10000u);
    EXPECT_EQ(first[0], 1);
    EXPECT_EQ(first[9999], 10000);
    EXPECT_EQ(reader.Read(first.data(), 2), 0u);
    reader.Rewind();
    EXPECT_EQ(reader.Position(), 0u);
    EXPECT_EQ(ReadAllSamples(reader), first);
}

TEST_F(WavePCMReaderDriver, TheRegisteredDriverDoesNotShutOutTheBuiltInDecoders) {
    const std::string wave = LongImaWave(3);
    TCustomMemoryWaveReadStream stream(wave.data(), uint32_t(wave.size()));
    TWavePCMReader reader(stream, Driver);
    EXPECT_EQ(ReadAllSamples(reader).size(), 3u * 65);
}

} // namespace
