// Time to make the demo station's whole media set (the station's first start: under 20 s is the
// target) and one short test MP3, with Google Benchmark.
#include "bench/BenchReport.h"
#include "tools/DemoStation.h"
#include "tools/MediaGenerator.h"

#include <benchmark/benchmark.h>

namespace {

void BM_WholeDemoSet(benchmark::State& state) {
    for (auto _ : state) {
        DemoStation station; // memory only: generation without the disk
        benchmark::DoNotOptimize(station.Prepare());
    }
}
BENCHMARK(BM_WholeDemoSet)->Unit(benchmark::kSecond)->Iterations(2);

void BM_ShortMp3(benchmark::State& state) {
    const double seconds = static_cast<double>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(MediaGenerator::MakeShortMp3(seconds, 3));
    state.counters["audio_s_per_s"] = benchmark::Counter(
        seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ShortMp3)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_Cover(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(MediaGenerator::MakeCover(500, 500, 1));
}
BENCHMARK(BM_Cover)->Unit(benchmark::kMillisecond);

// Keeps the whole set's time for the report.
class WholeSetReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.benchmark_name() == "BM_WholeDemoSet/iterations:2")
                seconds = run.GetAdjustedRealTime(); // the benchmark reports seconds
        ConsoleReporter::ReportRuns(runs);
    }
    double seconds = -1;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    WholeSetReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    ReportFigure({.what = "Demo station's whole media set, made in memory (its first start)",
                  .ours = reporter.seconds,
                  .unit = "s",
                  .target = BenchFigure::Target::kOursBelow,
                  .limit = 20});
    return 0;
}
