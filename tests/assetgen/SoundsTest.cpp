// The generated sounds in the program folder: every name the game plays is there, readable by
// the game's own wave reader, audible, and without a click at either end.
#include "gamelib/WaveRead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const std::filesystem::path GameDir = std::filesystem::path(CRUMBLE_TOOL_PATH).parent_path();

// The effects the game asks for by name.
const char* const EffectNames[] = {"begin",      "verloren", "tipp",     "tapp",       "bigtime",
                                   "highscore",  "catched",  "wavedone", "treffer",    "gun",
                                   "machinegun", "schmaler", "breiter",  "richtigrum", "falschrum",
                                   "explosion",  "leer",     "schussab", "extraweg",   "extrada"};

std::vector<int16_t> ReadSamples(const std::string& fileName, TWaveFormatEx& format) {
    TFileWaveReadStream stream(fileName);
    TWavePCMReader reader(stream, nullptr);
    format = reader.Format();
    std::vector<int16_t> samples(reader.Size() / 2);
    const uint32_t got = reader.Read(samples.data(), reader.Size());
    samples.resize(got / 2);
    return samples;
}

TEST(SoundsTest, EveryEffectIsAudiblePcmThatStartsAndEndsInSilence) {
    std::vector<double> peaks;
    for (const char* name : EffectNames) {
        SCOPED_TRACE(name);
        const std::string fileName = (GameDir / "snd" / (std::string(name) + ".wav")).string();
        TWaveFormatEx format{};
        std::vector<int16_t> samples;
        ASSERT_NO_THROW(samples = ReadSamples(fileName, format));
        EXPECT_EQ(format.wFormatTag, 1);
        EXPECT_EQ(format.nSamplesPerSec, 44100u);
        EXPECT_EQ(format.wBitsPerSample, 16);
        ASSERT_GT(samples.size(), 44100u / 50) << "shorter than one game update";
        // Effects stay short: the longest is a fanfare.
        EXPECT_LT(samples.size(), 44100u * 3 * format.nChannels);
        int peak = 0;
        for (int16_t s : samples)
            peak = std::max(peak, std::abs(int{s}));
        peaks.push_back(peak);
        EXPECT_GT(peak, 32767 / 4) << "too quiet";
        EXPECT_LT(std::abs(int{samples.front()}), 200);
        EXPECT_LT(std::abs(int{samples.back()}), 200);
    }
    // Normalised alike: no effect drowns the others.
    const auto [low, high] = std::minmax_element(peaks.begin(), peaks.end());
    EXPECT_LT(*high / *low, 4.0);
}

TEST(SoundsTest, BothMusicTracksAreMp3AndThePlayLoopIsStreamed) {
    for (const char* name : {"Track 30", "back"}) {
        SCOPED_TRACE(name);
        std::ifstream in(GameDir / "snd" / (std::string(name) + ".mp3"), std::ios::binary);
        ASSERT_TRUE(in);
        unsigned char head[2] = {};
        in.read(reinterpret_cast<char*>(head), 2);
        // A frame sync: lame writes no tag in front of the first frame.
        EXPECT_EQ(head[0], 0xFF);
        EXPECT_EQ(head[1] & 0xE0, 0xE0);
    }
    // Encoded at 160 kbit/s: longer than the 20 s above which the engine streams.
    EXPECT_GT(std::filesystem::file_size(GameDir / "snd" / "back.mp3") * 8 / 160000, 20u);
}

} // namespace
