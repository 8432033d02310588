#pragma once
// MP3 data for the decoding tests: a sine the test synthesises, encoded with lame when it is
// installed, and the measures a decoded result is checked against.
#include "gamelib/WaveBytes.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

inline bool LameAvailable() {
    return std::system("command -v lame >/dev/null 2>&1") == 0;
}

// 16-bit PCM samples of a sine at three quarters of full scale, the channels alike.
inline std::string SineSamples(double frequency, uint32_t rate, uint32_t frames, int channels) {
    std::string data;
    for (uint32_t i = 0; i < frames; ++i) {
        const auto v = int16_t(std::lround(24000 * std::sin(2 * M_PI * frequency * i / rate)));
        for (int c = 0; c < channels; ++c)
            data += Le16(uint16_t(v));
    }
    return data;
}

// The MP3 file of such a sine, written beside a scratch wave in folder; empty when lame fails.
inline std::string EncodeSineMp3(const std::string& folder, double frequency, uint32_t rate,
                                 uint32_t frames, int channels) {
    const std::string wave = folder + "/sine-src.wav", mp3 = folder + "/sine-src.mp3";
    std::ofstream(wave, std::ios::binary)
        << PcmWave(uint16_t(channels), rate, 16, SineSamples(frequency, rate, frames, channels));
    if (std::system(("lame --quiet -b 64 '" + wave + "' '" + mp3 + "'").c_str()) != 0) return {};
    std::ifstream in(mp3, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::remove(wave.c_str());
    std::remove(mp3.c_str());
    return bytes;
}

// The frequency of the first channel from its rising zero crossings.
inline double MeasuredFrequency(const std::string& pcm, uint32_t rate, int channels) {
    const size_t frames = pcm.size() / (2 * channels);
    auto sample = [&](size_t i) {
        return int16_t(uint8_t(pcm[2 * channels * i]) | uint8_t(pcm[2 * channels * i + 1]) << 8);
    };
    size_t first = 0, last = 0, crossings = 0;
    for (size_t i = 1; i < frames; ++i)
        if (sample(i - 1) < 0 && sample(i) >= 0) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
    return crossings < 2 ? 0 : double(crossings - 1) * rate / double(last - first);
}
