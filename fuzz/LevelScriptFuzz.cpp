// The level reader on arbitrary decoded script text: the pool of 50 enemies plays the text from
// its first line for a bounded number of updates, flying what its formations and waves release
// and painted now and then, while a shot kills the enemy under a moving point every few updates
// (the whole-wave bonus).
// Nothing may crash, hang or write beyond a table; a script that cannot be played ends with the
// level's own error, which carries the script position.
#include "FuzzFolder.h"
#include "game/SpermUnit.h"
#include "gamelib/BobhandlingUnit.h"
#include "gamelib/EngineState.h"
#include "gamelib/SpriteUnit.h"
#include "platform/winpath.h"
#include "shell/Tools.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int32_t Updates = 1500; // 30 s of play

struct TSetup {
    TEngineState Engine;
    TSetup() {
        const std::filesystem::path folder = fuzz::ScratchFolder("crumble-fuzz-level");
        std::filesystem::create_directories(folder / "SPS");
        // The pool reads its level from a file; each input then replaces the lines read.
        std::ofstream(folder / "SPS" / "Level1.txt", std::ios::binary).put('\n');
        SetProgramFolder(folder.string());
        SetCurrentDir(folder.string());
        Engine.OpenHeadless(16);
        LoadAllObjects(SplitLines(BuiltInSpriteScript()));
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TSetup setup;
    // Enemies leaving the screen are logged; each input starts a log of its own.
    EraseLog();
    RandSeed(uint32_t(size));
    TSpermien spermien("SPS\\Level1.txt");
    spermien.Lines = SplitLines(std::string(reinterpret_cast<const char*>(data), size));
    for (int32_t i = 0; i < MaxSperms; ++i)
        spermien.AddSperm();
    int32_t bonuses = 0;
    spermien.Links.WaveBonus = [&bonuses] { ++bonuses; };
    spermien.Start();
    try {
        // Once the script has ended, what is still on the screen gets 10 s to fly out.
        int32_t afterEnd = 0;
        for (int32_t update = 0; update < Updates && afterEnd < 500; ++update) {
            spermien.Move();
            if (spermien.ScriptLine == -1 && spermien.FormationLine == -1) ++afterEnd;
            // Every so often a frame is painted, wherever the enemies have flown.
            if (update % 25 == 0) Bobs->Paint();
            if (update % 4 != 0) continue;
            const int32_t slot =
                spermien.HitTest(float(update % 800 - 400), float(update * 7 % 600 - 300));
            if (slot != -1 && (slot < 1 || slot > MaxSperms || !spermien.Sperm(slot).Visible))
                std::abort();
            spermien.Kill(slot);
        }
    } catch (const ELevelError& e) {
        // The message ends with the position block of four CR LF lines.
        if (std::string(e.what()).find("\r\n (mainpointer=") == std::string::npos) std::abort();
    }
    if (bonuses != spermien.Statistics.WavesCompleted) std::abort();
    return 0;
}
