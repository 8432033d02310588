// The decoding plug-in on any file named .mp3: opened, decoded into a wave file, closed.
// Whatever the bytes, the player ends with a result or an error, never a crash or a hang.
#include "gamelib/MPEGPlay.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <thread>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "crumble-mp3-fuzz";
    std::filesystem::create_directories(folder);
    const std::string input = (folder / "input.mp3").string();
    std::ofstream(input, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    // Loaded once and never unloaded: the fuzzer keeps counting in the library's code.
    static TMPEGPlayer player;
    try {
        if (!player.Loaded()) {
            player.PathToDLL = std::filesystem::path(CRUMBLE_MPEGDLL).parent_path().string();
            player.LoadLib();
        }
        player.OutFilename = (folder / "output.wav").string();
        player.SetOutputDevice(TOutputDevice::pcmfile);
        player.SetStreamName(input);
        player.Open();
        player.Play();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!player.CheckDone()) {
            if (std::chrono::steady_clock::now() > deadline) __builtin_trap(); // a hang is a find
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        player.Close();
    } catch (const std::exception&) {
    }
    return 0;
}
