#include "Sounds.h"

#include "Synth.h"

#include <cmath>
#include <functional>
#include <string>

namespace assetgen {

namespace {

using TMaker = std::function<TSound()>;

// A bright bell: a sine with a quieter octave and fifth partial, plucked.
void Bell(TSound& s, double start, double note, double gain, double decay) {
    const double hz = NoteHz(note);
    AddSweep(s, start, decay * 5, hz, hz, TWave::Sine, gain, 0.002, decay);
    AddSweep(s, start, decay * 3, hz * 2, hz * 2, TWave::Sine, gain * 0.35, 0.002, decay * 0.6);
    AddSweep(s, start, decay * 2, hz * 3, hz * 3, TWave::Sine, gain * 0.12, 0.002, decay * 0.4);
}

// A soft brass-like note: square and saw under a gentle attack.
void Horn(TSound& s, double start, double length, double note, double gain) {
    const double hz = NoteHz(note);
    AddSweep(s, start, length, hz, hz, TWave::Saw, gain, 0.025, length * 1.5, 5.5, 0.004);
    AddSweep(s, start, length, hz * 1.003, hz * 1.003, TWave::Square, gain * 0.4, 0.03,
             length * 1.5);
}

// The player's shot: a short dry pop that drops in pitch, heard for every click.
TSound Schussab() {
    TSound s = MakeSound(0.16);
    AddSweep(s, 0, 0.12, 1300, 260, TWave::Triangle, 0.8, 0.001, 0.05);
    AddNoise(s, 0, 0.04, 2000, 9000, 0.5, 0.0005, 0.008, 11);
    return s;
}

// A chip bursting: several crackles of band-limited noise over a low thud.
TSound Treffer() {
    TSound s = MakeSound(0.32);
    AddSweep(s, 0, 0.12, 180, 70, TWave::Sine, 0.7, 0.001, 0.05);
    const double times[] = {0, 0.018, 0.041, 0.07, 0.1, 0.135, 0.17};
    std::uint32_t seed = 20;
    double gain = 0.9;
    for (double t : times) {
        AddNoise(s, t, 0.06, 1200, 7000, gain, 0.0005, 0.014, seed++);
        gain *= 0.78;
    }
    return s;
}

// A piece lands in the bag: a quick rising two-note chime.
TSound Catched() {
    TSound s = MakeSound(0.38);
    Bell(s, 0, 84, 0.6, 0.06);
    Bell(s, 0.06, 91, 0.6, 0.1);
    return s;
}

// A whole wave shot down: a sparkling arpeggio up to a held chord.
TSound Wavedone() {
    TSound s = MakeSound(1.1);
    const double notes[] = {72, 76, 79, 84, 88};
    for (int i = 0; i < 5; ++i)
        Bell(s, i * 0.07, notes[i], 0.45, 0.12);
    for (double n : {84.0, 88.0, 91.0})
        Bell(s, 0.38, n, 0.3, 0.25);
    AddNoise(s, 0.35, 0.6, 6000, 14000, 0.08, 0.05, 0.18, 31);
    return s;
}

// The start of a game: "ta-ta-taaa" on a bright horn.
TSound Begin() {
    TSound s = MakeSound(1.25);
    Horn(s, 0, 0.12, 67, 0.4);
    Horn(s, 0.15, 0.12, 67, 0.4);
    for (double n : {72.0, 76.0, 79.0})
        Horn(s, 0.3, 0.8, n, 0.3);
    AddSweep(s, 0.3, 0.8, NoteHz(48), NoteHz(48), TWave::Triangle, 0.5, 0.01, 0.4);
    return s;
}

// The game is lost: a descending "wah wah wah waaah".
TSound Verloren() {
    TSound s = MakeSound(1.9);
    const double notes[] = {67, 66, 65};
    for (int i = 0; i < 3; ++i)
        AddSweep(s, i * 0.32, 0.3, NoteHz(notes[i]), NoteHz(notes[i] - 0.3), TWave::Saw, 0.5, 0.03,
                 0.4, 4, 0.006);
    AddSweep(s, 0.96, 0.9, NoteHz(64), NoteHz(62), TWave::Saw, 0.5, 0.03, 0.9, 5, 0.02);
    return s;
}

// Typing a letter of the highscore name: a light key click.
TSound Tipp() {
    TSound s = MakeSound(0.05);
    AddNoise(s, 0, 0.03, 3000, 12000, 0.7, 0.0003, 0.005, 41);
    AddSweep(s, 0, 0.03, 2400, 2000, TWave::Sine, 0.4, 0.0005, 0.008);
    return s;
}

// Backspace: a lower, duller click so the two are told apart.
TSound Tapp() {
    TSound s = MakeSound(0.06);
    AddNoise(s, 0, 0.04, 600, 4000, 0.7, 0.0003, 0.008, 43);
    AddSweep(s, 0, 0.04, 900, 700, TWave::Sine, 0.5, 0.0005, 0.012);
    return s;
}

// The last ten seconds, one per second: a woodblock tick.
TSound Bigtime() {
    TSound s = MakeSound(0.14);
    AddSweep(s, 0, 0.1, 1650, 1500, TWave::Sine, 0.7, 0.0005, 0.02);
    AddSweep(s, 0, 0.08, 3300, 3000, TWave::Sine, 0.2, 0.0005, 0.01);
    AddNoise(s, 0, 0.02, 2000, 8000, 0.3, 0.0003, 0.004, 47);
    return s;
}

// The highscore table opens on the player's place: a short fanfare.
TSound Highscore() {
    TSound s = MakeSound(1.8);
    const double lead[] = {72, 76, 79, 76, 79};
    const double when[] = {0, 0.13, 0.26, 0.45, 0.58};
    for (int i = 0; i < 5; ++i)
        Horn(s, when[i], 0.12, lead[i], 0.35);
    for (double n : {72.0, 77.0, 81.0, 84.0})
        Horn(s, 0.75, 0.95, n, 0.22);
    AddSweep(s, 0.75, 0.95, NoteHz(41), NoteHz(41), TWave::Triangle, 0.5, 0.01, 0.5);
    AddNoise(s, 0.75, 0.9, 5000, 14000, 0.06, 0.02, 0.3, 53);
    return s;
}

// Rapid fire picked up: a rising run of pops that speeds up.
TSound Machinegun() {
    TSound s = MakeSound(0.75);
    double t = 0;
    for (int i = 0; i < 12; ++i) {
        const double hz = 300 * std::pow(1.12, i);
        AddSweep(s, t, 0.05, hz * 2, hz, TWave::Square, 0.45, 0.001, 0.015);
        AddNoise(s, t, 0.02, 2000, 8000, 0.25, 0.0005, 0.005, 60u + static_cast<std::uint32_t>(i));
        t += 0.07 - i * 0.0035;
    }
    AddSweep(s, t, 0.2, NoteHz(84), NoteHz(96), TWave::Triangle, 0.4, 0.002, 0.08);
    return s;
}

// Rapid fire runs out: a falling power-down whine.
TSound Gun() {
    TSound s = MakeSound(0.6);
    AddSweep(s, 0, 0.58, 900, 110, TWave::Square, 0.5, 0.005, 0.4, 14, 0.05);
    return s;
}

// The bag grows wide: a springy rising stretch.
TSound Breiter() {
    TSound s = MakeSound(0.65);
    AddSweep(s, 0, 0.35, 220, 660, TWave::Triangle, 0.6, 0.005, 0.3, 18, 0.04);
    Bell(s, 0.3, 88, 0.35, 0.1);
    Bell(s, 0.38, 93, 0.35, 0.12);
    return s;
}

// The bag shrinks back: the stretch in reverse, ending low.
TSound Schmaler() {
    TSound s = MakeSound(0.6);
    Bell(s, 0, 93, 0.3, 0.06);
    AddSweep(s, 0.05, 0.45, 660, 200, TWave::Triangle, 0.6, 0.005, 0.3, 18, 0.04);
    return s;
}

// The bag turned upside down: a dizzy warble sinking away.
TSound Falschrum() {
    TSound s = MakeSound(0.8);
    AddSweep(s, 0, 0.75, 900, 300, TWave::Sine, 0.6, 0.01, 0.6, 9, 0.12);
    AddSweep(s, 0, 0.75, 1350, 450, TWave::Triangle, 0.25, 0.01, 0.6, 9, 0.12);
    return s;
}

// The bag the right way round again: the warble rising into a clean note.
TSound Richtigrum() {
    TSound s = MakeSound(0.7);
    AddSweep(s, 0, 0.4, 300, 880, TWave::Sine, 0.6, 0.01, 0.5, 9, 0.1);
    Bell(s, 0.38, 81, 0.45, 0.1);
    return s;
}

// Everything blows up: a low boom with a long rumbling tail.
TSound Explosion() {
    TSound s = MakeSound(1.6);
    AddSweep(s, 0, 0.6, 120, 35, TWave::Sine, 0.9, 0.002, 0.22);
    AddNoise(s, 0, 1.55, 40, 900, 1.6, 0.003, 0.35, 71);
    AddNoise(s, 0, 0.3, 800, 6000, 0.5, 0.001, 0.06, 73);
    AddNoise(s, 0.08, 1.2, 60, 400, 0.8, 0.05, 0.4, 79);
    return s;
}

// A shot after the game is over: a dry empty click.
TSound Leer() {
    TSound s = MakeSound(0.09);
    AddNoise(s, 0, 0.015, 1500, 6000, 0.8, 0.0003, 0.003, 83);
    AddNoise(s, 0.035, 0.02, 800, 3000, 0.5, 0.0003, 0.004, 89);
    AddSweep(s, 0.035, 0.04, 320, 200, TWave::Sine, 0.4, 0.0005, 0.01);
    return s;
}

// An extra appears: a rising shimmer of quick bell notes.
TSound Extrada() {
    TSound s = MakeSound(0.7);
    const double notes[] = {79, 83, 86, 91, 95};
    for (int i = 0; i < 5; ++i)
        Bell(s, i * 0.05, notes[i], 0.35, 0.07);
    AddSweep(s, 0, 0.3, 600, 2400, TWave::Sine, 0.2, 0.05, 0.2);
    AddNoise(s, 0.05, 0.5, 7000, 15000, 0.1, 0.05, 0.12, 97);
    return s;
}

// An extra vanishes unshot: a soft "pfft" falling away.
TSound Extraweg() {
    TSound s = MakeSound(0.55);
    const double notes[] = {91, 86, 83, 79};
    for (int i = 0; i < 4; ++i)
        Bell(s, i * 0.06, notes[i], 0.25, 0.06);
    AddSweep(s, 0, 0.45, 2000, 400, TWave::Sine, 0.25, 0.01, 0.15);
    AddNoise(s, 0, 0.4, 2000, 9000, 0.15, 0.02, 0.1, 101);
    return s;
}

struct TEffect {
    std::string_view Name;
    TSound (*Make)();
};

const TEffect Effects[] = {
    {"begin", Begin},
    {"verloren", Verloren},
    {"tipp", Tipp},
    {"tapp", Tapp},
    {"bigtime", Bigtime},
    {"highscore", Highscore},
    {"catched", Catched},
    {"wavedone", Wavedone},
    {"treffer", Treffer},
    {"gun", Gun},
    {"machinegun", Machinegun},
    {"schmaler", Schmaler},
    {"breiter", Breiter},
    {"richtigrum", Richtigrum},
    {"falschrum", Falschrum},
    {"explosion", Explosion},
    {"leer", Leer},
    {"schussab", Schussab},
    {"extraweg", Extraweg},
    {"extrada", Extrada},
};

} // namespace

const std::vector<std::string_view>& EffectNames() {
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> list;
        for (const TEffect& effect : Effects)
            list.push_back(effect.Name);
        return list;
    }();
    return names;
}

void WriteSounds(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    for (const TEffect& effect : Effects) {
        TSound sound = effect.Make();
        Finish(sound);
        WriteWave(sound, folder / (std::string(effect.Name) + ".wav"));
    }
}

} // namespace assetgen
