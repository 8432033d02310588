#include "Synth.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <stdexcept>

namespace assetgen {

namespace {

constexpr double TwoPi = 2 * std::numbers::pi;

void PutLe(std::ofstream& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

} // namespace

TSound MakeSound(double seconds, int channels) {
    TSound sound;
    sound.Channels = channels;
    sound.Samples.assign(static_cast<size_t>(seconds * SampleRate) * static_cast<size_t>(channels),
                         0.0f);
    return sound;
}

double NoteHz(double note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

float TNoise::Next() {
    FState ^= FState << 13;
    FState ^= FState >> 17;
    FState ^= FState << 5;
    return static_cast<float>(FState) / 2147483648.0f - 1.0f;
}

void TLowPass::SetCutoff(double cutoffHz) {
    FCoeff = static_cast<float>(1 - std::exp(-TwoPi * cutoffHz / SampleRate));
}

float SineWave(double phase) {
    return static_cast<float>(std::sin(TwoPi * phase));
}

float TriangleWave(double phase) {
    const double p = phase - std::floor(phase);
    return static_cast<float>(p < 0.5 ? 4 * p - 1 : 3 - 4 * p);
}

float SquareWave(double phase, double duty) {
    const double p = phase - std::floor(phase);
    return p < duty ? 0.8f : -0.8f;
}

float SawWave(double phase) {
    const double p = phase - std::floor(phase);
    return static_cast<float>(2 * p - 1) * 0.7f;
}

double PluckEnvelope(double t, double attack, double decay) {
    if (t < 0) return 0;
    if (t < attack) return t / attack;
    return std::exp(-(t - attack) / decay);
}

double GateEnvelope(double t, double length, double attack, double release) {
    if (t < 0 || t >= length) return 0;
    if (t < attack) return t / attack;
    if (t > length - release) return (length - t) / release;
    return 1;
}

void AddSweep(TSound& sound, double start, double length, double startHz, double endHz, TWave wave,
              double gain, double attack, double decay, double vibratoHz, double vibratoDepth) {
    const size_t first = static_cast<size_t>(start * SampleRate);
    const size_t count = static_cast<size_t>(length * SampleRate);
    const double ratio = std::log(endHz / startHz);
    // Square and saw are softened so the effects stay round rather than buzzing.
    TLowPass soften(std::min(startHz, endHz) * 6);
    double phase = 0;
    for (size_t i = 0; i < count && first + i < sound.Frames(); ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        double hz = startHz * std::exp(ratio * t / length);
        if (vibratoHz > 0) hz *= 1 + vibratoDepth * std::sin(TwoPi * vibratoHz * t);
        phase += hz / SampleRate;
        float v = 0;
        switch (wave) {
        case TWave::Sine:
            v = SineWave(phase);
            break;
        case TWave::Triangle:
            v = TriangleWave(phase);
            break;
        case TWave::Square:
            v = soften.Process(SquareWave(phase));
            break;
        case TWave::Saw:
            v = soften.Process(SawWave(phase));
            break;
        }
        const double env = PluckEnvelope(t, attack, decay) * GateEnvelope(t, length, 0, 0.01);
        const float s = static_cast<float>(v * env * gain);
        for (int c = 0; c < sound.Channels; ++c)
            sound.Samples[(first + i) * static_cast<size_t>(sound.Channels) +
                          static_cast<size_t>(c)] += s;
    }
}

void AddNoise(TSound& sound, double start, double length, double lowHz, double highHz, double gain,
              double attack, double decay, std::uint32_t seed) {
    const size_t first = static_cast<size_t>(start * SampleRate);
    const size_t count = static_cast<size_t>(length * SampleRate);
    TNoise noise(seed);
    TLowPass low(highHz);
    THighPass high(lowHz);
    for (size_t i = 0; i < count && first + i < sound.Frames(); ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        const double env = PluckEnvelope(t, attack, decay) * GateEnvelope(t, length, 0, 0.01);
        const float s = static_cast<float>(high.Process(low.Process(noise.Next())) * env * gain);
        for (int c = 0; c < sound.Channels; ++c)
            sound.Samples[(first + i) * static_cast<size_t>(sound.Channels) +
                          static_cast<size_t>(c)] += s;
    }
}

void Finish(TSound& sound, double targetDb, double peakDb, double fadeIn, double fadeOut) {
    const size_t frames = sound.Frames();
    const auto channels = static_cast<size_t>(sound.Channels);
    const size_t inFrames = std::min(frames, static_cast<size_t>(fadeIn * SampleRate));
    const size_t outFrames = std::min(frames, static_cast<size_t>(fadeOut * SampleRate));
    for (size_t i = 0; i < frames; ++i) {
        double g = 1;
        if (i < inFrames) g = static_cast<double>(i) / static_cast<double>(inFrames);
        if (i + outFrames >= frames)
            g *= static_cast<double>(frames - 1 - i) / static_cast<double>(outFrames);
        for (size_t c = 0; c < channels; ++c)
            sound.Samples[i * channels + c] *= static_cast<float>(g);
    }
    double sum = 0;
    float peak = 0;
    size_t loud = 0;
    for (float s : sound.Samples) {
        peak = std::max(peak, std::abs(s));
        // Only the sounding part counts, so a short click and a long tail compare fairly.
        if (std::abs(s) > 1e-3f) {
            sum += static_cast<double>(s) * s;
            ++loud;
        }
    }
    if (peak <= 0 || loud == 0) throw std::runtime_error("a synthesised sound is silent");
    const double rms = std::sqrt(sum / static_cast<double>(loud));
    const double gain =
        std::min(std::pow(10, targetDb / 20) / rms, std::pow(10, peakDb / 20) / peak);
    for (float& s : sound.Samples)
        s *= static_cast<float>(gain);
}

void WriteWave(const TSound& sound, const std::filesystem::path& path) {
    const auto dataBytes = static_cast<std::uint32_t>(sound.Samples.size() * 2);
    const auto channels = static_cast<std::uint32_t>(sound.Channels);
    const std::filesystem::path part = path.string() + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error("cannot write " + path.string());
        out.write("RIFF", 4);
        PutLe(out, 36 + dataBytes, 4);
        out.write("WAVEfmt ", 8);
        PutLe(out, 16, 4);
        PutLe(out, 1, 2); // PCM
        PutLe(out, channels, 2);
        PutLe(out, SampleRate, 4);
        PutLe(out, SampleRate * channels * 2, 4);
        PutLe(out, channels * 2, 2);
        PutLe(out, 16, 2);
        out.write("data", 4);
        PutLe(out, dataBytes, 4);
        std::vector<char> bytes(dataBytes);
        for (size_t i = 0; i < sound.Samples.size(); ++i) {
            const float clamped = std::clamp(sound.Samples[i], -1.0f, 1.0f);
            const auto v = static_cast<std::int16_t>(std::lround(clamped * 32767.0f));
            bytes[2 * i] = static_cast<char>(v & 0xFF);
            bytes[2 * i + 1] = static_cast<char>((v >> 8) & 0xFF);
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + path.string());
    }
    std::filesystem::rename(part, path);
}

} // namespace assetgen
