// build/bench/crumble-store-bench: the companion server's store alone, on a store of 100 000
// publications: a publication (insert and ranks), the two highscore lists of a page, the
// version check of cached pages. SQLite always; PostgreSQL when CRUMBLE_BENCH_POSTGRES holds a
// connection address (its schema must be empty or hold only the lists of an earlier run).
#include "server/ScoreStore.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <unistd.h>
#include <utility>

namespace {

constexpr int StoredPublications = 100000;
// 2024-03-06 12:00 UTC.
const TServerClock::time_point Now = TServerClock::from_time_t(1709726400);

TPublishRecord Record(const std::string& id, int32_t score) {
    TPublishRecord record;
    record.PublishID = id;
    record.PublishName = "Spieler";
    record.Residence = "Zürich";
    record.Country = "Schweiz";
    record.Score = score;
    return record;
}

struct TFilled {
    std::unique_ptr<TScoreStore> Store;
    std::vector<std::string> Players;
    std::mt19937 Random{42};
};

// The store of a back-end, filled once per run; nothing when the back-end is not set up.
TFilled* Filled(const std::string& backEnd) {
    static std::mutex lock;
    const std::lock_guard guard(lock);
    static std::map<std::string, std::unique_ptr<TFilled>> stores;
    auto& filled = stores[backEnd];
    if (filled) return filled.get();
    std::string address;
    if (backEnd == "sqlite") {
        const auto file = std::filesystem::temp_directory_path() /
                          ("crumble-store-bench-" + std::to_string(getpid()) + ".db");
        for (const char* suffix : {"", "-wal", "-shm"})
            std::filesystem::remove(file.string() + suffix);
        address = file.string();
    } else {
        const char* configured = std::getenv("CRUMBLE_BENCH_POSTGRES");
        if (!configured) return nullptr;
        address = configured;
    }
    filled = std::make_unique<TFilled>();
    filled->Store = std::make_unique<TScoreStore>(address);
    // Scores spread like a promotion's: most low, a long tail, many equal.
    std::exponential_distribution<double> spread(1.0 / 20000);
    for (int64_t stored = filled->Store->PublicationCount(); stored < StoredPublications;
         ++stored) {
        const auto score = static_cast<int32_t>(spread(filled->Random)) / 10 * 10;
        filled->Players.push_back(filled->Store->Submit(Record("", score), Now).ID);
    }
    if (filled->Players.empty()) filled->Players.push_back(filled->Store->AllTime(1)[0].PlayerID);
    return filled.get();
}

void StorePublishNewPlayer(benchmark::State& state, const std::string& backEnd) {
    TFilled* filled = Filled(backEnd);
    if (!filled) return state.SkipWithError("CRUMBLE_BENCH_POSTGRES is not set");
    std::uniform_int_distribution<int32_t> score(0, 200000);
    for (auto _ : state)
        benchmark::DoNotOptimize(filled->Store->Submit(Record("", score(filled->Random)), Now));
}

// Eight clients at once, as the web server's workers publish: they share transactions.
void StorePublishConcurrently(benchmark::State& state, const std::string& backEnd) {
    TFilled* filled = Filled(backEnd);
    if (!filled) return state.SkipWithError("CRUMBLE_BENCH_POSTGRES is not set");
    std::mt19937 random(static_cast<unsigned>(state.thread_index()));
    std::uniform_int_distribution<int32_t> score(0, 200000);
    for (auto _ : state)
        benchmark::DoNotOptimize(filled->Store->Submit(Record("", score(random)), Now));
    state.SetItemsProcessed(state.iterations());
}

// A known player: its old ranks are counted as well.
void StorePublishKnownPlayer(benchmark::State& state, const std::string& backEnd) {
    TFilled* filled = Filled(backEnd);
    if (!filled) return state.SkipWithError("CRUMBLE_BENCH_POSTGRES is not set");
    std::uniform_int_distribution<int32_t> score(0, 200000);
    for (auto _ : state) {
        const std::string& id = filled->Players[filled->Random() % filled->Players.size()];
        benchmark::DoNotOptimize(filled->Store->Submit(Record(id, score(filled->Random)), Now));
    }
}

// What the highscore page shows: a hundred entries of each list.
void StoreHighscoreLists(benchmark::State& state, const std::string& backEnd) {
    TFilled* filled = Filled(backEnd);
    if (!filled) return state.SkipWithError("CRUMBLE_BENCH_POSTGRES is not set");
    for (auto _ : state) {
        benchmark::DoNotOptimize(filled->Store->AllTime(100));
        benchmark::DoNotOptimize(filled->Store->Week(Now, 100));
    }
}

void StoreListsVersion(benchmark::State& state, const std::string& backEnd) {
    TFilled* filled = Filled(backEnd);
    if (!filled) return state.SkipWithError("CRUMBLE_BENCH_POSTGRES is not set");
    for (auto _ : state)
        benchmark::DoNotOptimize(filled->Store->ListsVersion());
}

// Every case on both back-ends, named CASE/SQLite and CASE/PostgreSQL.
const bool Registered = [] {
    for (const auto& [backEnd, label] :
         {std::pair<std::string, std::string>{"sqlite", "SQLite"}, {"postgresql", "PostgreSQL"}}) {
        const auto add = [&](const char* name, void (*run)(benchmark::State&, const std::string&)) {
            return benchmark::RegisterBenchmark((std::string(name) + "/" + label).c_str(), run,
                                                backEnd);
        };
        add("StorePublishNewPlayer", StorePublishNewPlayer)->Unit(benchmark::kMicrosecond);
        add("StorePublishConcurrently", StorePublishConcurrently)
            ->Threads(8)
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
        add("StorePublishKnownPlayer", StorePublishKnownPlayer)->Unit(benchmark::kMicrosecond);
        add("StoreHighscoreLists", StoreHighscoreLists)->Unit(benchmark::kMicrosecond);
        add("StoreListsVersion", StoreListsVersion);
    }
    return true;
}();

} // namespace
