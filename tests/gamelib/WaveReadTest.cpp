#include "gamelib/WaveRead.h"

#include "TestSupport.h"
#include "WaveBytes.h"
#include "platform/dl.h"
#include "shell/Tools.h"

#include <gtest/gtest.h>
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

std::string WhyOpenFails(const std::string& bytes) {
    try {
        TCustomMemoryWaveReadStream stream(bytes.data(), uint32_t(bytes.size()));
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
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
    const std::string longData = fmt + "data" + Le32(1000) + "abcd";
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
        {Riff(longData), "'data' chunk is longer than the file!"},
    };
    for (const auto& [bytes, message] : cases)
        EXPECT_EQ(WhyOpenFails(bytes), message) << "bytes: " << bytes.size();
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

    EXPECT_THROW(
        try { TFileWaveReadStream missing("none.wav"); } catch (const EWaveError& e) {
            EXPECT_STREQ(e.what(), "Can't open file stream.");
            throw;
        },
        EWaveError);
    EXPECT_THROW(TResourceWaveReadStream("X.X.X.X.X.X", "WAVE"), EResNotFound);
}

// The reference decoders below are written from the codecs' descriptions, not from ours.
TEST(WavePCMReader, EachEncodingDecodesToItsReferenceSamples) {
    struct TCase {
        std::string Wave;
        std::vector<int16_t> Expected;
    };
    const std::vector<TCase> cases = {
        // mu-law: the end points and zero of G.711.
        {Riff(FmtChunk(7, 1, 8000, 8000, 1, 8, "") +
              Chunk("data", std::string("\x00\x80\xFF\x7F\x8F", 5))),
         {-32124, 32124, 0, 0, 16764}},
        // A-law: the smallest and largest magnitudes.
        {Riff(FmtChunk(6, 1, 8000, 8000, 1, 8, "") + Chunk("data", "\xD5\x55\xAA\x2A")),
         {8, -8, 32256, -32256}},
        // IEEE float: 0.5, -1 and 2 (saturated).
        {Riff(FmtChunk(3, 1, 8000, 32000, 4, 32, "") +
              Chunk("data", Le32(0x3F000000) + Le32(0xBF800000) + Le32(0x40000000))),
         {16384, -32768, 32767}},
    };
    for (const TCase& c : cases) {
        TCustomMemoryWaveReadStream stream(c.Wave.data(), uint32_t(c.Wave.size()));
        TWavePCMReader reader(stream, nullptr);
        EXPECT_TRUE(reader.Converted());
        EXPECT_EQ(reader.Format().wFormatTag, 1);
        EXPECT_EQ(reader.Format().wBitsPerSample, 16);
        EXPECT_EQ(ReadAllSamples(reader), c.Expected);
    }
}

TEST(WavePCMReader, ImaAdpcmBlockDecodesAsTheStandardDescribes) {
    const int steps[] = {7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19};
    const int indexMoves[] = {-1, -1, -1, -1, 2, 4, 6, 8};
    const int nibbles[] = {4, 5, 1, 9, 12, 0, 2, 10};
    std::vector<int16_t> expected = {1000};
    int predictor = 1000, index = 0;
    for (int n : nibbles) {
        const int step = steps[index];
        int diff = step >> 3;
        if (n & 4) diff += step;
        if (n & 2) diff += step >> 1;
        if (n & 1) diff += step >> 2;
        predictor += (n & 8) ? -diff : diff;
        index = std::max(0, index + indexMoves[n & 7]);
        expected.push_back(int16_t(predictor));
    }
    std::string block = Le16(1000) + std::string("\0\0", 2);
    for (int i = 0; i < 8; i += 2)
        block += char(nibbles[i] | nibbles[i + 1] << 4);
    const std::string wave =
        Riff(FmtChunk(0x11, 1, 8000, 7112, 8, 4, Le16(9)) + Chunk("data", block));
    TCustomMemoryWaveReadStream stream(wave.data(), uint32_t(wave.size()));
    TWavePCMReader reader(stream, nullptr);
    EXPECT_EQ(ReadAllSamples(reader), expected);
}

TEST(WavePCMReader, MsAdpcmUsesTheHeaderCoefficientsAndRefusesTooFew) {
    const std::string coefficients = Le16(256) + Le16(0) + Le16(512) + Le16(-256 & 0xFFFF) +
                                     Le16(0) + Le16(0) + Le16(192) + Le16(64) + Le16(240) +
                                     Le16(0) + Le16(460) + Le16(-208 & 0xFFFF) + Le16(392) +
                                     Le16(-232 & 0xFFFF);
    // Predictor 0 (256, 0), delta 16, sample1 100, sample2 50; nibbles 1, 2, -1, 0.
    const std::string block = std::string("\0", 1) + Le16(16) + Le16(100) + Le16(50) + "\x12\xF0";
    const std::string wave = Riff(
        FmtChunk(2, 1, 8000, 12000, 9, 4, Le16(6) + Le16(7) + coefficients) + Chunk("data", block));
    TCustomMemoryWaveReadStream stream(wave.data(), uint32_t(wave.size()));
    TWavePCMReader reader(stream, nullptr);
    EXPECT_EQ(ReadAllSamples(reader), (std::vector<int16_t>{50, 100, 116, 148, 132, 132}));

    const std::string fewer =
        Riff(FmtChunk(2, 1, 8000, 12000, 9, 4, Le16(6) + Le16(7) + coefficients.substr(0, 4)) +
             Chunk("data", block));
    TCustomMemoryWaveReadStream short_(fewer.data(), uint32_t(fewer.size()));
    try {
        TWavePCMReader refused(short_, nullptr);
        FAIL();
    } catch (const EWaveError& e) {
        EXPECT_STREQ(e.what(), "Can't suggest pcm format (512). format=2 cbSize=8");
    }
}

TEST(WavePCMReader, UndecodableFormatsAndZeroByteRate) {
    const std::string gsm =
        Riff(FmtChunk(0x31, 1, 8000, 1625, 65, 0, Le16(320)) + Chunk("data", std::string(65, 'g')));
    TCustomMemoryWaveReadStream gsmStream(gsm.data(), uint32_t(gsm.size()));
    try {
        TWavePCMReader reader(gsmStream, nullptr);
        FAIL();
    } catch (const EWaveError& e) {
        EXPECT_STREQ(e.what(), "Can't suggest pcm format (512). format=49 cbSize=2");
    }
    const std::string noRate = Riff(FmtChunk(7, 1, 8000, 0, 1, 8, "") + Chunk("data", "ab"));
    TCustomMemoryWaveReadStream noRateStream(noRate.data(), uint32_t(noRate.size()));
    EXPECT_THROW(
        try { TWavePCMReader reader(noRateStream, nullptr); } catch (const EWaveError& e) {
            EXPECT_STREQ(e.what(), "Average bytes per second = 0");
            throw;
        },
        EWaveError);
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
