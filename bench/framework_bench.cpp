// Record-set speed: indexed locate on a large vs a small set (goal: O(1), ratio near 1), and
// updating 200 rows inside a suspend bracket with a table model and sort proxy attached.
#include "framework/RecordSet.h"

#ifdef TARVO_BENCH_QT
#include "framework/RecordSetModel.h"
#endif

#include "RecordingReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tarvo {
namespace {

std::string keyOf(int i)
{
    return "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "."
         + std::to_string(i % 256);
}

std::unique_ptr<RecordSet> makeSet(int rows, bool indexed)
{
    auto set = std::make_unique<RecordSet>(std::vector<FieldDef>{
        {"ChannelIP", 15, FieldKind::Text, indexed},
        {"hostName", 40, FieldKind::Text, false},
        {"CpuUsage", 20, FieldKind::Text, false},
        {"Checked", 5, FieldKind::Boolean, false}});
    for (int i = 0; i < rows; ++i) {
        set->append();
        set->setValue("ChannelIP", keyOf(i));
        set->setValue("hostName", "host" + std::to_string(i));
        set->post();
    }
    return set;
}

// Looks up keys spread over the whole set, so the cost does not favour a scan from the top.
void locate(benchmark::State& state, bool indexed)
{
    const int rows = static_cast<int>(state.range(0));
    auto set = makeSet(rows, indexed);
    std::vector<std::string> keys;
    for (int i = 0; i < 64; ++i)
        keys.push_back(keyOf((i * 7919) % rows));
    size_t next = 0;
    for (auto _ : state) {
        bool found = set->locate("ChannelIP", keys[next]);
        benchmark::DoNotOptimize(found);
        next = (next + 1) % keys.size();
    }
}

void BM_Locate(benchmark::State& state) { locate(state, true); }
void BM_LocateWithoutIndex(benchmark::State& state) { locate(state, false); }
BENCHMARK(BM_Locate)->Arg(100)->Arg(10000);
BENCHMARK(BM_LocateWithoutIndex)->Arg(100)->Arg(10000);

// Stands in for a view: counts what it is told.
struct CountingListener : RecordSetListener {
    void rowsInserted(int, int) override { ++events; }
    void rowsRemoved(int, int) override { ++events; }
    void rowsChanged(int, int, const std::vector<int>&) override { ++events; }
    void reset() override { ++events; }
    long events = 0;
};

// One status update's worth of rewrites: 200 rows, one field each, inside one bracket.
void updateRows(RecordSet& set, int round)
{
    SuspendGuard guard(set);
    const std::string value = std::to_string(round % 100) + "%";
    for (set.first(); !set.eof(); set.next()) {
        set.edit();
        set.setValue("CpuUsage", value);
        set.post();
    }
}

void BM_SuspendedUpdateWithListener(benchmark::State& state)
{
    auto set = makeSet(static_cast<int>(state.range(0)), true);
    CountingListener listener;
    set->addListener(&listener);
    int round = 0;
    for (auto _ : state)
        updateRows(*set, ++round);
    state.counters["events/update"] = double(listener.events) / double(state.iterations());
    set->removeListener(&listener);
}
BENCHMARK(BM_SuspendedUpdateWithListener)->Arg(200);

#ifdef TARVO_BENCH_QT
void updateWithModel(benchmark::State& state, bool suspended)
{
    auto set = makeSet(static_cast<int>(state.range(0)), true);
    RecordSetModel model(*set, {{"ChannelIP", "IP", 100, ColumnKind::Text, false},
                                {"hostName", "name", 80, ColumnKind::Text, false},
                                {"CpuUsage", "CPU", 60, ColumnKind::Text, false}});
    RecordSortProxy proxy(&model, "ChannelIP");
    long changedSignals = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged,
                     [&changedSignals] { ++changedSignals; });
    int round = 0;
    for (auto _ : state) {
        ++round;
        if (suspended) {
            updateRows(*set, round);
            continue;
        }
        const std::string value = std::to_string(round % 100) + "%";
        for (set->first(); !set->eof(); set->next()) {
            set->edit();
            set->setValue("CpuUsage", value);
            set->post();
        }
    }
    state.counters["dataChanged/update"] = double(changedSignals) / double(state.iterations());
}

void BM_SuspendedUpdateWithModel(benchmark::State& state) { updateWithModel(state, true); }
void BM_UnsuspendedUpdateWithModel(benchmark::State& state) { updateWithModel(state, false); }
BENCHMARK(BM_SuspendedUpdateWithModel)->Arg(200);
BENCHMARK(BM_UnsuspendedUpdateWithModel)->Arg(200);

// A host's 20 PBU rows leaving a table of 5000 hosts (100 000 rows): deleted one by one as
// the console did (each erase moves every row behind it) against one pass. The rows are put
// back outside the timing.
void deleteHostRows(benchmark::State& state, bool oneByOne)
{
    RecordSet set(std::vector<FieldDef>{{"ID", 40, FieldKind::Text, true},
                                        {"HostIp", 15, FieldKind::Text, true},
                                        {"Checked", 5, FieldKind::Boolean, false}});
    const int hosts = 5000;
    const auto fill = [&](int host) {
        for (int pbu = 0; pbu < 20; ++pbu) {
            set.append();
            set.setValue("ID", keyOf(host) + "/" + std::to_string(pbu));
            set.setValue("HostIp", keyOf(host));
            set.post();
        }
    };
    for (int host = 0; host < hosts; ++host)
        fill(host);
    int host = 0;
    for (auto _ : state) {
        const std::string ip = keyOf(host);
        SuspendGuard batch(set);
        if (oneByOne) {
            while (set.locate("HostIp", ip))
                set.deleteCurrent();
        } else {
            set.deleteWhere("HostIp", ip);
        }
        state.PauseTiming();
        fill(host);  // back at the end: the next host's rows are nearer the front each time
        host = (host + 1) % hosts;
        state.ResumeTiming();
    }
}
void BM_DeleteHostRowsOneByOne(benchmark::State& state) { deleteHostRows(state, true); }
void BM_DeleteHostRowsInOnePass(benchmark::State& state) { deleteHostRows(state, false); }
BENCHMARK(BM_DeleteHostRowsOneByOne);
BENCHMARK(BM_DeleteHostRowsInOnePass);
#endif


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

    std::printf("\nLocate CPU time on 10000 rows / on 100 rows (goal with an index: <= 2)\n");
    for (const char* name : {"BM_Locate", "BM_LocateWithoutIndex"}) {
        auto large = reporter.times.find(std::string(name) + "/10000");
        auto small = reporter.times.find(std::string(name) + "/100");
        if (large == reporter.times.end() || small == reporter.times.end() || small->second <= 0)
            continue;
        double ratio = large->second / small->second;
        bool goal = std::string(name) == "BM_Locate";
        std::printf("  %-24s %10.1f ns / %8.1f ns  ratio %8.1f%s\n", name, large->second,
                    small->second, ratio, goal ? (ratio <= 2 ? "  ok" : "  MISSED") : "");
    }
    const auto oneByOne = reporter.times.find("BM_DeleteHostRowsOneByOne");
    const auto onePass = reporter.times.find("BM_DeleteHostRowsInOnePass");
    if (oneByOne != reporter.times.end() && onePass != reporter.times.end() && oneByOne->second > 0)
        std::printf("\nA host's 20 PBU rows out of 100 000, one pass / one by one: %.0f ns / %.0f ns"
                    "  ratio %.3f (goal: < 0.2)%s\n",
                    onePass->second, oneByOne->second, onePass->second / oneByOne->second,
                    onePass->second / oneByOne->second < 0.2 ? "  ok" : "  MISSED");
    return 0;
}
