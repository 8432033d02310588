// The mixer against SDL's own mixing of the same voices, and IMA ADPCM decoding speed.
#include "gamelib/WaveRead.h"
#include "platform/dsound.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Voices = 32;
constexpr uint32_t Frames = DSMixRate; // one second of output

// One second of 16-bit stereo per voice, each a different saw so nothing cancels out.
std::vector<int16_t> VoiceSamples(int voice) {
    std::vector<int16_t> samples(2 * Frames);
    for (uint32_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>((int(i) * (voice + 3) % 2000) - 1000);
    return samples;
}

void MixOurs(benchmark::State& state) {
    auto output = std::make_shared<TOfflineSoundOutput>();
    PDirectSound device;
    DirectSoundCreateOn(output, device);
    device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
    const TWaveFormatEx format{WAVE_FORMAT_PCM, 2, DSMixRate, DSMixRate * 4, 4, 16, 0};
    std::vector<PDirectSoundBuffer> buffers;
    for (int v = 0; v < Voices; ++v) {
        const std::vector<int16_t> samples = VoiceSamples(v);
        TDSBufferDesc desc;
        desc.Flags = DSBCAPS_STATIC | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY;
        desc.BufferBytes = Frames * 4;
        desc.Format = &format;
        PDirectSoundBuffer buffer;
        device->CreateSoundBuffer(desc, buffer);
        void *first = nullptr, *second = nullptr;
        uint32_t firstBytes = 0, secondBytes = 0;
        buffer->Lock(0, desc.BufferBytes, &first, &firstBytes, &second, &secondBytes, 0);
        std::memcpy(first, samples.data(), firstBytes);
        buffer->Unlock(first, firstBytes, second, secondBytes);
        buffer->Play(0, 0, DSBPLAY_LOOPING);
        buffers.push_back(buffer);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(output->RenderFrames(Frames).data());
}

void MixSDL(benchmark::State& state) {
    std::vector<std::vector<int16_t>> voices;
    for (int v = 0; v < Voices; ++v)
        voices.push_back(VoiceSamples(v));
    std::vector<int16_t> out(2 * Frames);
    for (auto _ : state) {
        std::fill(out.begin(), out.end(), 0);
        for (const auto& voice : voices)
            SDL_MixAudioFormat(reinterpret_cast<Uint8*>(out.data()),
                               reinterpret_cast<const Uint8*>(voice.data()), AUDIO_S16LSB,
                               Uint32(out.size() * 2), SDL_MIX_MAXVOLUME);
        benchmark::DoNotOptimize(out.data());
    }
}

std::string Le16(uint32_t v) {
    return {char(v & 0xFF), char(v >> 8 & 0xFF)};
}
std::string Le32(uint32_t v) {
    return Le16(v & 0xFFFF) + Le16(v >> 16);
}

// Ten seconds of stereo IMA ADPCM at 44.1 kHz in 2048-byte blocks.
std::string ImaWave(uint32_t& seconds) {
    constexpr uint32_t align = 2048, channels = 2;
    constexpr uint32_t samplesPerBlock = (align - 4 * channels) * 2 / channels + 1;
    seconds = 10;
    const uint32_t blocks = seconds * 44100 / samplesPerBlock + 1;
    std::string data;
    for (uint32_t b = 0; b < blocks; ++b) {
        for (uint32_t ch = 0; ch < channels; ++ch)
            data += Le16(0) + char(20) + '\0';
        for (uint32_t i = 0; i < align - 4 * channels; ++i)
            data += char((i * 29 + b * 7) & 0x77); // keeps the step index moving both ways
    }
    const std::string fmt = Le16(0x11) + Le16(channels) + Le32(44100) +
                            Le32(44100 * align / samplesPerBlock) + Le16(align) + Le16(4) +
                            Le16(2) + Le16(samplesPerBlock);
    const std::string chunks =
        "fmt " + Le32(uint32_t(fmt.size())) + fmt + "data" + Le32(uint32_t(data.size())) + data;
    return "RIFF" + Le32(uint32_t(4 + chunks.size())) + "WAVE" + chunks;
}

void AdpcmDecode(benchmark::State& state) {
    uint32_t seconds = 0;
    const std::string wave = ImaWave(seconds);
    std::vector<uint8_t> buffer(1 << 16);
    for (auto _ : state) {
        TCustomMemoryWaveReadStream stream(wave.data(), uint32_t(wave.size()));
        TWavePCMReader reader(stream, nullptr);
        while (reader.Read(buffer.data(), uint32_t(buffer.size())) != 0) {
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    // Seconds of sound decoded per second of work.
    state.counters["times_real_time"] = benchmark::Counter(
        double(seconds) * double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(MixOurs)->Name("mix-32/ours")->Unit(benchmark::kNanosecond);
BENCHMARK(MixSDL)->Name("mix-32/SDL2")->Unit(benchmark::kNanosecond);
BENCHMARK(AdpcmDecode)->Name("adpcm-decode/ours")->Unit(benchmark::kNanosecond);
