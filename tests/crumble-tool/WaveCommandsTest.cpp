// The wave commands of the tool on files a player may have: decoding writes what a file holds.
#include "TestSupport.h"
#include "gamelib/WaveBytes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

uint32_t U32At(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | uint8_t(bytes[at + i]);
    return v;
}

TEST(WaveCommandsTest, DecodingACutFileWritesTheSamplesItHolds) {
    TTempProgramFolder folder;
    // 16-bit mono that states 2000 bytes of data; the file ends after 301 of them.
    std::string samples;
    for (int i = 0; i < 1000; ++i)
        samples += Le16(uint32_t(i * 37));
    const std::string whole = PcmWave(1, 8000, 16, samples);
    const size_t dataStart = whole.find("data") + 8;
    ASSERT_EQ(U32At(whole, dataStart - 4), 2000u);
    folder.Put("cut.wav", whole.substr(0, dataStart + 301));

    ASSERT_EQ(RunTool({"wave", "decode", "cut.wav", "out.wav"}, folder.Path).ExitCode, 0);
    const std::string out = folder.Get("out.wav");
    ASSERT_GE(out.size(), 44u);
    EXPECT_EQ(out.substr(0, 4), "RIFF");
    EXPECT_EQ(out.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(U32At(out, 24), 8000u) << "the rate";
    EXPECT_EQ(out.substr(36, 4), "data");
    // 150 whole samples; the odd byte is half a sample.
    EXPECT_EQ(U32At(out, 40), 300u);
    EXPECT_EQ(out.substr(44), samples.substr(0, 300));

    // A damaged file is still refused with a failure status, not decoded into nothing.
    folder.Put("bad.wav", "RIFF" + Le32(4) + "WAVE");
    EXPECT_NE(RunTool({"wave", "decode", "bad.wav", "x.wav"}, folder.Path).ExitCode, 0);
}

} // namespace
