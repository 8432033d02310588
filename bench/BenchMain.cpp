// Runs every benchmark and prints each case as "NAME: ours X ns, PEER Y ns, ratio R", pairing
// the benchmarks registered as "NAME/ours" and "NAME/<peer>".
#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

class TPairReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const std::string name = run.benchmark_name();
            const size_t slash = name.find('/');
            if (slash == std::string::npos) continue;
            const double ns = run.GetAdjustedRealTime();  // per iteration, in the run's unit
            Results[name.substr(0, slash)].push_back({name.substr(slash + 1), ns});
        }
    }
    std::map<std::string, std::vector<std::pair<std::string, double>>> Results;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    TPairReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    for (const auto& [name, runs] : reporter.Results) {
        double ours = 0;
        std::string peer;
        double peerNs = 0;
        for (const auto& [who, ns] : runs) {
            if (who == "ours")
                ours = ns;
            else {
                peer = who;
                peerNs = ns;
            }
        }
        if (ours > 0 && peerNs > 0)
            std::printf("%s: ours %.0f ns, %s %.0f ns, ratio %.2f\n", name.c_str(), ours,
                        peer.c_str(), peerNs, ours / peerNs);
        else if (ours > 0)
            std::printf("%s: ours %.0f ns\n", name.c_str(), ours);
    }
    benchmark::Shutdown();
    return 0;
}
