#include "Music.h"

#include <spawn.h>
#include <sys/wait.h>

#include <array>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace assetgen {

namespace {

struct TChord {
    int Root; // MIDI note of the root in the bass octave
    bool Minor;
};

struct TNote {
    int Pitch; // 0 = rest
    int Eighths;
};

struct TArrangement {
    double Bpm;
    std::vector<TChord> Bars;
    std::vector<TNote> Melody;
    bool Stabs;     // off-beat chord stabs instead of held pads
    bool BusyDrums; // kick on every beat with an open hat on the off-beats
};

std::array<int, 3> ChordTones(const TChord& chord) {
    return {chord.Root, chord.Root + (chord.Minor ? 3 : 4), chord.Root + 7};
}

// Voices render mono; the mix places them in the stereo field.
struct TVoices {
    TSound Lead, Chords, Bass, Drums, Hats;
};

TSound Render(const TArrangement& a) {
    const double eighth = 30.0 / a.Bpm;
    const double bar = 8 * eighth;
    const double loop = bar * static_cast<double>(a.Bars.size());
    // Notes ringing past the end are folded back onto the start, so the loop has no seam.
    const double tail = 2.0;
    TVoices v{MakeSound(loop + tail), MakeSound(loop + tail), MakeSound(loop + tail),
              MakeSound(loop + tail), MakeSound(loop + tail)};

    std::uint32_t seed = 1000;
    for (size_t b = 0; b < a.Bars.size(); ++b) {
        const double t0 = static_cast<double>(b) * bar;
        const TChord& chord = a.Bars[b];
        const auto tones = ChordTones(chord);
        // Bass: bouncing root and octave on the eighths, a fifth to lead into the next bar.
        for (int e = 0; e < 8; ++e) {
            int note = chord.Root - 12 + ((e % 2) ? 12 : 0);
            if (e == 7) note = chord.Root - 12 + 7;
            const double hz = NoteHz(note);
            AddSweep(v.Bass, t0 + e * eighth, eighth * 0.9, hz, hz, TWave::Saw, 0.5, 0.004,
                     eighth * 0.7);
            AddSweep(v.Bass, t0 + e * eighth, eighth * 0.9, hz, hz, TWave::Sine, 0.5, 0.004,
                     eighth * 0.8);
        }
        // Chords, an octave and more above the bass.
        for (int tone : tones) {
            const double hz = NoteHz(tone + 12);
            if (a.Stabs) {
                for (int e = 1; e < 8; e += 2)
                    AddSweep(v.Chords, t0 + e * eighth, eighth * 0.8, hz, hz, TWave::Square, 0.22,
                             0.004, eighth * 0.5);
            } else {
                AddSweep(v.Chords, t0, bar, hz, hz, TWave::Saw, 0.2, 0.08, bar * 1.2, 4.5, 0.003);
                AddSweep(v.Chords, t0, bar, hz * 2, hz * 2, TWave::Triangle, 0.08, 0.12, bar * 0.8);
            }
        }
        // Drums.
        for (int beat = 0; beat < 4; ++beat) {
            const double tb = t0 + beat * 2 * eighth;
            if (a.BusyDrums || beat % 2 == 0)
                AddSweep(v.Drums, tb, 0.25, 160, 45, TWave::Sine, 1.0, 0.001, 0.1);
            if (beat % 2 == 1) {
                AddNoise(v.Drums, tb, 0.2, 900, 8000, 0.55, 0.001, 0.06, seed++);
                AddSweep(v.Drums, tb, 0.1, 230, 180, TWave::Triangle, 0.35, 0.001, 0.04);
            }
        }
        for (int e = 0; e < 8; ++e) {
            const bool open = a.BusyDrums && e % 2 == 1;
            AddNoise(v.Hats, t0 + e * eighth, open ? 0.15 : 0.05, 7000, 16000,
                     (e % 2) ? 0.35 : 0.22, 0.0005, open ? 0.05 : 0.015, seed++);
        }
    }
    // Lead: a bell-like square with a little vibrato.
    double t = 0;
    for (const TNote& note : a.Melody) {
        const double length = note.Eighths * eighth;
        if (note.Pitch > 0) {
            const double hz = NoteHz(note.Pitch);
            AddSweep(v.Lead, t, length * 0.95, hz, hz, TWave::Square, 0.32, 0.006,
                     std::max(length, 0.25), 5.5, 0.004);
            AddSweep(v.Lead, t, length * 0.95, hz * 2, hz * 2, TWave::Sine, 0.12, 0.004,
                     length * 0.5);
        }
        t += length;
    }

    const size_t frames = static_cast<size_t>(loop * SampleRate);
    TSound mix = MakeSound(loop, 2);
    auto place = [&](const TSound& voice, double pan, double gain) {
        const float left = static_cast<float>(gain * std::sqrt(0.5 * (1 - pan)));
        const float right = static_cast<float>(gain * std::sqrt(0.5 * (1 + pan)));
        for (size_t i = 0; i < voice.Frames(); ++i) {
            const size_t j = i % frames;
            mix.Samples[2 * j] += voice.Samples[i] * left;
            mix.Samples[2 * j + 1] += voice.Samples[i] * right;
        }
    };
    place(v.Lead, 0.25, 0.8);
    place(v.Chords, -0.35, 0.6);
    place(v.Bass, 0, 0.75);
    place(v.Drums, 0, 0.7);
    place(v.Hats, 0.4, 0.35);
    // No fades: the first and last samples meet when the track loops.
    Finish(mix, -17, -1.5, 0, 0);
    return mix;
}

std::vector<TNote> PlayMelody(const std::vector<TChord>& bars) {
    // Four rhythms, each filling one bar of eighths, walked over the chord tones.
    static const std::vector<std::vector<int>> rhythms = {
        {2, 1, 1, 2, 2}, {1, 1, 2, 1, 1, 2}, {3, 1, 2, 2}, {2, 2, 1, 1, 2}};
    static const int steps[] = {0, 1, 2, 1, 3, 2, 4, 3, 2, 1, 0, 2, 4, 5, 3, 1};
    std::vector<TNote> melody;
    int step = 0;
    for (size_t b = 0; b < bars.size(); ++b) {
        const auto tones = ChordTones(bars[b]);
        const auto& rhythm = rhythms[b % 4];
        for (size_t i = 0; i < rhythm.size(); ++i) {
            const int k = steps[step++ % 16];
            int pitch = tones[static_cast<size_t>(k % 3)] + 24 + 12 * (k / 3);
            while (pitch > 86)
                pitch -= 12;
            // Every fourth bar breathes at its end so the phrases are heard.
            if (b % 4 == 3 && i + 1 == rhythm.size()) pitch = 0;
            melody.push_back({pitch, rhythm[i]});
        }
    }
    return melody;
}

void Encode(const TSound& sound, const std::filesystem::path& folder, std::string_view name) {
    const std::filesystem::path wave = folder / (std::string(name) + ".encoding.wav");
    const std::filesystem::path mp3 = folder / (std::string(name) + ".mp3");
    WriteWave(sound, wave);
    std::vector<std::string> args = {"lame", "--quiet", "--noreplaygain", "-q",        "2",
                                     "-b",   "160",     wave.string(),    mp3.string()};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "lame", nullptr, nullptr, argv.data(), environ) != 0) {
        std::filesystem::remove(wave);
        throw std::runtime_error("cannot run lame to encode " + mp3.string());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::filesystem::remove(wave);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("lame failed to encode " + mp3.string());
}

} // namespace

TSound TitleTrack() {
    return Render(
        {.Bpm = 120,
         .Bars = {{48, false},
                  {45, true},
                  {41, false},
                  {43, false},
                  {48, false},
                  {45, true},
                  {41, false},
                  {43, false}},
         .Melody = {{72, 2}, {76, 1}, {79, 1}, {81, 2}, {79, 2}, {76, 2}, {72, 2}, {69, 3},
                    {0, 1},  {72, 1}, {74, 1}, {76, 2}, {77, 2}, {81, 2}, {79, 3}, {77, 1},
                    {76, 2}, {74, 2}, {72, 2}, {76, 1}, {79, 1}, {84, 2}, {83, 1}, {81, 1},
                    {79, 2}, {76, 2}, {72, 2}, {76, 2}, {77, 2}, {81, 2}, {79, 1}, {77, 1},
                    {76, 1}, {74, 1}, {74, 3}, {71, 1}, {67, 2}, {0, 2}},
         .Stabs = false,
         .BusyDrums = false});
}

TSound PlayTrack() {
    const TChord c{48, false}, g{43, false}, am{45, true}, f{41, false}, e{40, false};
    const std::vector<TChord> bars{c, g, am, f, c, g, f, g, am, f, c, g, am, f, g, e};
    return Render(
        {.Bpm = 140, .Bars = bars, .Melody = PlayMelody(bars), .Stabs = true, .BusyDrums = true});
}

void WriteMusic(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    Encode(TitleTrack(), folder, TitleTrackName);
    Encode(PlayTrack(), folder, PlayTrackName);
}

} // namespace assetgen
