// A small additive synthesiser for the game's effects and music: sample buffers, oscillators,
// envelopes, noise, simple filters, loudness normalisation and the 16-bit PCM wave writer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace assetgen {

inline constexpr int SampleRate = 44100;

// Mono or interleaved stereo samples in -1 .. 1.
struct TSound {
    int Channels = 1;
    std::vector<float> Samples;

    size_t Frames() const { return Samples.size() / static_cast<size_t>(Channels); }
    double Seconds() const { return static_cast<double>(Frames()) / SampleRate; }
};

TSound MakeSound(double seconds, int channels = 1);

// Frequency of a MIDI note number (69 = A4 = 440 Hz).
double NoteHz(double note);

// Deterministic white noise in -1 .. 1.
class TNoise {
  public:
    explicit TNoise(std::uint32_t seed) : FState(seed | 1u) {}
    float Next();

  private:
    std::uint32_t FState;
};

// One-pole filters, enough to colour noise and soften square waves.
class TLowPass {
  public:
    explicit TLowPass(double cutoffHz) { SetCutoff(cutoffHz); }
    void SetCutoff(double cutoffHz);
    float Process(float x) {
        FState += FCoeff * (x - FState);
        return FState;
    }

  private:
    float FCoeff = 1;
    float FState = 0;
};

class THighPass {
  public:
    explicit THighPass(double cutoffHz) : FLow(cutoffHz) {}
    float Process(float x) { return x - FLow.Process(x); }

  private:
    TLowPass FLow;
};

// Band-limited-enough waveforms of a phase in cycles (0 .. 1 repeating).
float SineWave(double phase);
float TriangleWave(double phase);
float SquareWave(double phase, double duty = 0.5);
float SawWave(double phase);

// Attack / exponential decay envelope; t and the times in seconds.
double PluckEnvelope(double t, double attack, double decay);
// Linear attack, hold at 1, linear release ending at length.
double GateEnvelope(double t, double length, double attack, double release);

// Adds a tone whose pitch glides exponentially from startHz to endHz over its length.
enum class TWave { Sine, Triangle, Square, Saw };
void AddSweep(TSound& sound, double start, double length, double startHz, double endHz, TWave wave,
              double gain, double attack, double decay, double vibratoHz = 0,
              double vibratoDepth = 0);
// Adds filtered noise with a plucked envelope; lowHz/highHz shape its band.
void AddNoise(TSound& sound, double start, double length, double lowHz, double highHz, double gain,
              double attack, double decay, std::uint32_t seed);

// Fades both ends so nothing clicks, then scales to a common loudness: the RMS of the sound
// is brought to targetDb (dB below full scale) unless its peak would pass peakDb.
void Finish(TSound& sound, double targetDb = -16, double peakDb = -1, double fadeIn = 0.003,
            double fadeOut = 0.012);

// 16-bit PCM at SampleRate. Throws std::runtime_error when the file cannot be written.
void WriteWave(const TSound& sound, const std::filesystem::path& path);

} // namespace assetgen
