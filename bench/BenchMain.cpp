// Runs every benchmark and prints each case as "NAME: ours X ns, PEER Y ns, ratio R", pairing
// the benchmarks registered as "NAME/ours" and "NAME/<peer>". A case that measures its slowest
// round against a budget (counters "worst_ms", "median_ms" and "budget_ms") prints
// "NAME: X ms (median M ms, budget B ms)".
#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// One side of a case: who, the time per iteration in the run's unit, and, for decoders, how
// many times faster than real time.
struct TResult {
    std::string Who;
    double Time;
    std::string Unit;
    double RealTime;
};

class TPairReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const std::string name = run.run_name.function_name;
            if (const auto worst = run.counters.find("worst_ms"); worst != run.counters.end()) {
                const auto counter = [&](const char* key) {
                    const auto found = run.counters.find(key);
                    return found != run.counters.end() ? found->second.value : 0.0;
                };
                Worst[name] = {worst->second.value, counter("median_ms"), counter("budget_ms")};
                continue;
            }
            const size_t slash = name.find('/');
            if (slash == std::string::npos) continue;
            TResult result{name.substr(slash + 1), run.GetAdjustedRealTime(),
                           benchmark::GetTimeUnitString(run.time_unit), 0};
            if (const auto counter = run.counters.find("x_real_time");
                counter != run.counters.end())
                result.RealTime = counter->second.value;
            Results[name.substr(0, slash)].push_back(result);
        }
    }
    std::map<std::string, std::vector<TResult>> Results;
    // The slowest round, the median one and the budget, in milliseconds.
    struct TWorst {
        double Worst, Median, Budget;
    };
    std::map<std::string, TWorst> Worst;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    TPairReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    for (const auto& [name, runs] : reporter.Results) {
        const TResult* ours = nullptr;
        const TResult* peer = nullptr;
        for (const TResult& run : runs)
            (run.Who == "ours" ? ours : peer) = &run;
        if (!ours) continue;
        std::printf("%s: ours %.0f %s", name.c_str(), ours->Time, ours->Unit.c_str());
        if (peer && peer->Time > 0)
            std::printf(", %s %.0f %s, ratio %.2f", peer->Who.c_str(), peer->Time,
                        peer->Unit.c_str(), ours->Time / peer->Time);
        if (ours->RealTime > 0) std::printf(", %.0f x real time", ours->RealTime);
        std::printf("\n");
    }
    for (const auto& [name, worst] : reporter.Worst)
        std::printf("%s: %.2f ms (median %.2f ms, budget %.0f ms)\n", name.c_str(), worst.Worst,
                    worst.Median, worst.Budget);
    benchmark::Shutdown();
    return 0;
}
