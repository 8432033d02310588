// Decoding the shipped music: through the plug-in into wave files, as the sound preparation
// does, against libmpg123 decoding the same files into memory.
#include "gamelib/MPEGPlay.h"

#include <benchmark/benchmark.h>
#include <mpg123.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::vector<std::string>& MusicFiles() {
    static const std::vector<std::string> files = {std::string(CRUMBLE_GAME_DIR) + "/snd/back.mp3",
                                                   std::string(CRUMBLE_GAME_DIR) +
                                                       "/snd/Track 30.mp3"};
    return files;
}

// Seconds of sound in the files, from libmpg123's own count; both sides decode the same.
double MusicSeconds() {
    static const double seconds = [] {
        double total = 0;
        mpg123_init();
        for (const std::string& file : MusicFiles()) {
            mpg123_handle* handle = mpg123_new(nullptr, nullptr);
            long rate = 0;
            int channels = 0, encoding = 0;
            if (mpg123_open(handle, file.c_str()) == MPG123_OK &&
                mpg123_getformat(handle, &rate, &channels, &encoding) == MPG123_OK && rate > 0)
                total += double(mpg123_length(handle)) / double(rate);
            mpg123_close(handle);
            mpg123_delete(handle);
        }
        return total;
    }();
    return seconds;
}

void Mp3Ours(benchmark::State& state) {
    const std::string out =
        (std::filesystem::temp_directory_path() / "crumble-bench-music.wav").string();
    TMPEGPlayer player;
    player.PathToDLL = CRUMBLE_GAME_DIR;
    player.LoadLib();
    for (auto _ : state) {
        for (const std::string& file : MusicFiles()) {
            player.OutFilename = out;
            player.SetOutputDevice(TOutputDevice::pcmfile);
            player.SetStreamName(file);
            player.Open();
            player.Play();
            while (!player.CheckDone())
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            player.Close();
        }
    }
    player.FreeLib();
    std::filesystem::remove(out);
    state.counters["x_real_time"] =
        benchmark::Counter(MusicSeconds(), benchmark::Counter::kIsIterationInvariantRate);
}

void Mp3Library(benchmark::State& state) {
    mpg123_init();
    std::vector<unsigned char> pcm(1 << 16);
    for (auto _ : state) {
        for (const std::string& file : MusicFiles()) {
            mpg123_handle* handle = mpg123_new(nullptr, nullptr);
            mpg123_open(handle, file.c_str());
            size_t done = 0;
            std::vector<unsigned char> all;
            int result = MPG123_OK;
            do {
                result = mpg123_read(handle, pcm.data(), pcm.size(), &done);
                all.insert(all.end(), pcm.begin(), pcm.begin() + ptrdiff_t(done));
            } while (result == MPG123_OK || result == MPG123_NEW_FORMAT);
            benchmark::DoNotOptimize(all.data());
            mpg123_close(handle);
            mpg123_delete(handle);
        }
    }
}

const bool Registered = [] {
    benchmark::RegisterBenchmark("mp3-decode/ours", Mp3Ours)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("mp3-decode/libmpg123", Mp3Library)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return true;
}();

} // namespace
