// The exporter's series family against prometheus::Family when many series leave at once: 50
// hosts' 20 PBUs (1000 series) removed from a family of 5000 hosts' (100 000). prometheus::Family
// looks for every series it removes among all of them; the goal is a ratio under 0.01.
#include "metrics/SeriesFamily.h"

#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

#include "RecordingReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace tarvo {
namespace {

constexpr int kSeries = 100000;
constexpr int kLeaving = 1000;

prometheus::Labels labelsOf(int i)
{
    return {{"host", "127.0." + std::to_string(i / 20 / 256) + "." + std::to_string(i / 20 % 256)},
            {"pbu", "A" + std::to_string(1000000000 + i)}};
}

template <typename Family>
void removeMany(benchmark::State& state, Family& family)
{
    std::vector<prometheus::Gauge*> series;
    for (int i = 0; i < kSeries; ++i) {
        if constexpr (std::is_same_v<Family, prometheus::Family<prometheus::Gauge>>)
            series.push_back(&family.Add(labelsOf(i)));
        else
            series.push_back(&family.add(labelsOf(i)));
    }
    int from = 0;
    for (auto _ : state) {
        for (int i = from; i < from + kLeaving; ++i) {
            if constexpr (std::is_same_v<Family, prometheus::Family<prometheus::Gauge>>)
                family.Remove(series[i]);
            else
                family.remove(series[i]);
        }
        state.PauseTiming();
        for (int i = from; i < from + kLeaving; ++i) {
            if constexpr (std::is_same_v<Family, prometheus::Family<prometheus::Gauge>>)
                series[i] = &family.Add(labelsOf(i));
            else
                series[i] = &family.add(labelsOf(i));
        }
        from = (from + kLeaving) % kSeries;
        state.ResumeTiming();
    }
}

void BM_RemoveSeriesPrometheusFamily(benchmark::State& state)
{
    prometheus::Registry registry;
    removeMany(state, prometheus::BuildGauge().Name("tarvo_pbu_state").Help("-").Register(registry));
}

void BM_RemoveSeriesSeriesFamily(benchmark::State& state)
{
    metrics::SeriesFamily<prometheus::Gauge> family("tarvo_pbu_state", "-");
    removeMany(state, family);
}

BENCHMARK(BM_RemoveSeriesPrometheusFamily)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RemoveSeriesSeriesFamily)->Unit(benchmark::kMillisecond);


} // namespace
} // namespace tarvo

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    tarvo::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto theirs = reporter.times.find("BM_RemoveSeriesPrometheusFamily");
    const auto ours = reporter.times.find("BM_RemoveSeriesSeriesFamily");
    if (theirs != reporter.times.end() && ours != reporter.times.end() && theirs->second > 0) {
        const double ratio = ours->second / theirs->second;
        std::printf("\n1000 of 100 000 series removed, SeriesFamily / prometheus::Family: %.3f ms / "
                    "%.1f ms  ratio %.4f (goal: < 0.01)%s\n",
                    ours->second, theirs->second, ratio, ratio < 0.01 ? "  ok" : "  MISSED");
    }
    return 0;
}
