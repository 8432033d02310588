// The sprite-script reader on arbitrary text: the frame-list reader, timings, sound slots and
// whole scripts loaded against a headless device. Nothing may crash or write beyond a table;
// refusals are the program's own exceptions.
#include "gamelib/EngineState.h"
#include "gamelib/SpriteUnit.h"
#include "platform/winpath.h"

#include <filesystem>

namespace {

struct TSetup {
    TEngineState Engine;
    TSetup() {
        const std::string folder =
            (std::filesystem::temp_directory_path() / "crumble-fuzz-sprites").string();
        std::filesystem::create_directories(folder + "/SPS");
        SetProgramFolder(folder);
        SetCurrentDir(folder);
        Engine.OpenHeadless(16);
    }
};

// Sheets are made at their declared size; keep them small so the run measures the parser.
bool SmallSheets(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        int value = 0;
        for (size_t i = 0; i < 3 && i < line.size(); ++i)
            if (line[i] >= '0' && line[i] <= '9') value = value * 10 + (line[i] - '0');
        if (value > 64) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TSetup setup;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = SplitLines(text);
    for (const std::string& line : lines) {
        (void)ParseFrameList(line, static_cast<int32_t>(line.size() % 1000));
        TSoundSlot slot;
        for (int32_t k = 1; k <= SoundSlots; ++k)
            (void)ParseSoundSlot(line, k, slot);
    }
    if (SmallSheets(lines)) {
        try {
            LoadAllObjects(lines);
            for (int32_t o = 1; o <= ObjectCount; ++o)
                for (int32_t a = 0; a < MaxAnimations + 1; ++a)
                    (void)GetSprite(o, a, FrameCount(o, a) - 1);
        } catch (const std::exception&) {
        }
        FreeAllSprites();
    }
    return 0;
}
