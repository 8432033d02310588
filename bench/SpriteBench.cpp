// The bob list: sorting and painting 1500 bobs when the order barely changes and after a
// shuffle, and a game-sized frame of enemies, pieces, particles and pop-ups from blank sheets
// of the shipped sizes, painted headless onto a 16-bit back buffer.
#include "gamelib/BobhandlingUnit.h"
#include "gamelib/DDUtil.h"
#include "gamelib/EngineState.h"
#include "gamelib/SpriteUnit.h"
#include "platform/winpath.h"
#include "shell/Tools.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <vector>

namespace {

// A program folder of its own, so the load's log lines stay out of the player's log.
std::string SceneFolder() {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "crumble-bench";
    std::filesystem::create_directories(folder / "SPS");
    return folder.string();
}

struct TScene {
    std::vector<TBob*> Owners;
    TEngineState Engine;
    TScene() : Owners(MaxBobs, nullptr) {
        SetProgramFolder(SceneFolder());
        SetCurrentDir(ProgramFolder());
        Engine.OpenHeadless(16);
        LoadAllObjects(SplitLines(BuiltInSpriteScript()));
        // Blank sheets are all key colour; a filled sheet costs what artwork costs.
        for (int32_t i = 1; i <= SurfaceCount; ++i)
            Colorfill(SurfaceTable[size_t(i)].Surface, 0x336699);
    }
    // A bob placed at random in front of the camera.
    TBob* Add(const char* name, size_t slot, float zFrom, float zRange) {
        Bobs->Add(GetAnimation(name), 0, -1, &Owners[slot]);
        TBob* bob = Owners[slot];
        bob->X = float(int32_t(Random(800)) - 400);
        bob->Y = float(int32_t(Random(600)) - 300);
        bob->Z = zFrom - float(Random(uint32_t(zRange)));
        return bob;
    }
};

void Fill(TScene& scene, bool invisible) {
    RandSeed(7);
    for (size_t i = 0; i < MaxBobs; ++i)
        scene.Add("Partikel", i, -800, 3000)->Visible = !invisible;
}

// The list's own cost: bobs that are invisible are sorted, not drawn.
void BM_BobsPaintAlmostSorted(benchmark::State& state) {
    TScene scene;
    Fill(scene, true);
    Bobs->Paint();
    for (auto _ : state) {
        // A few neighbours swap depth, as moving bodies do between frames.
        for (int32_t i = 0; i + 1 < Bobs->Count; i += 150)
            std::swap(Bobs->Item(i)->Z, Bobs->Item(i + 1)->Z);
        Bobs->Paint();
    }
}
BENCHMARK(BM_BobsPaintAlmostSorted)->Name("bobs_paint_1500_almost_sorted/ours");

void BM_BobsPaintShuffled(benchmark::State& state) {
    TScene scene;
    Fill(scene, true);
    for (auto _ : state) {
        state.PauseTiming();
        for (int32_t i = 0; i < Bobs->Count; ++i)
            Bobs->Item(i)->Z = -800.0f - float(Random(3000));
        state.ResumeTiming();
        Bobs->Paint();
    }
}
BENCHMARK(BM_BobsPaintShuffled)->Name("bobs_paint_1500_shuffled/ours");

// 50 enemies, 100 pieces, 300 particles, 100 pop-ups, as a busy moment of a game.
void BM_GameFrame(benchmark::State& state) {
    TScene scene;
    RandSeed(11);
    size_t slot = 0;
    const char* enemies[] = {"chip1a", "pepper1a"};
    for (int i = 0; i < 50; ++i)
        scene.Add(enemies[i % 2], slot++, -800, 1200);
    const char* pieces[] = {"chip1b", "pepper1b", "chip1c", "pepper1c"};
    for (int i = 0; i < 100; ++i)
        scene.Add(pieces[i % 4], slot++, -800, 400);
    for (int i = 0; i < 300; ++i)
        scene.Add("Partikel", slot++, -800, 800);
    for (int i = 0; i < 100; ++i)
        scene.Add("points", slot++, -800, 200)->Alpha = 160;
    for (auto _ : state) {
        for (int32_t i = 0; i < Bobs->Count; ++i)
            Bobs->Item(i)->Animate();
        Bobs->Paint();
    }
}
BENCHMARK(BM_GameFrame)->Name("game_frame_550_bobs/ours");

} // namespace
