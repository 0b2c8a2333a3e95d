// Applying one status response to a host that already holds its PBUs: the cost per PBU.
#include "BenchPackages.h"
#include "comm/MessageCommandPool.h"
#include "host/HostSubject.h"
#include "protocol/MessageBodies.h"

#include "RecordingReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

using namespace tarvo;

namespace {

std::string oesPackage() { return bench::runningOesPackage(); }

std::string pbuPackage(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        char op[32];
        std::snprintf(op, sizeof op, "%05d%06d", 10000 + i, 100000 + i);
        Pbu p(op, "SHR", "3", std::to_string(1000 + i), std::to_string(990 + i), "500",
              "99999", "198.18.0.1", "10.0.0.5", "50", "正常", "1");
        p.setOesName(i % 2 ? OES_NAME_B : OES_NAME_A);
        text += p.toString();
    }
    return text;
}

// One received status response with `pbus` PBUs, decoded once.
std::unique_ptr<Message> statusResponse(int pbus)
{
    Message out(PROTOCOL_VERSION, "S", "7",
                std::make_unique<StatusResponseMessageBody>("正常运行", "2026-12-08 09:30:00 ",
                                                            "37", "45", "61", "00", oesPackage(),
                                                            pbuPackage(pbus)));
    const std::string wire = out.encode();
    auto in = std::make_unique<Message>();
    in->decode(wire);
    return in;
}

void BM_ApplyStatusResponse(benchmark::State &state)
{
    const int pbus = int(state.range(0));
    auto message = statusResponse(pbus);
    HostSubject host("bench", "10.0.0.5", "10012");
    MessageCommandPool pool;
    // The host already holds these PBUs from an earlier response.
    pool.add(std::make_unique<StatusMessageCommand>(7, "10.0.0.5", &host));
    pool.dispatch(*message, "10.0.0.5");
    for (auto _ : state) {
        pool.add(std::make_unique<StatusMessageCommand>(7, "10.0.0.5", &host));
        pool.dispatch(*message, "10.0.0.5");
    }
    benchmark::DoNotOptimize(host.getPbuList().size());
    state.counters["per_pbu"] = benchmark::Counter(double(pbus), benchmark::Counter::kIsIterationInvariantRate
                                                                     | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ApplyStatusResponse)->Arg(20)->Arg(200);


} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto small = reporter.times.find("BM_ApplyStatusResponse/20");
    const auto large = reporter.times.find("BM_ApplyStatusResponse/200");
    if (small != reporter.times.end() && large != reporter.times.end() && small->second > 0)
        std::printf("\nratio 200-PBU / 20-PBU response: %.2f (linear: 10, goal <= 12)\n",
                    large->second / small->second);
    benchmark::Shutdown();
    return 0;
}
