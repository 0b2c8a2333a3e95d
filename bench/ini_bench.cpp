// Ini parsing and the status file read of one request, at 1 000, 5 000 and 20 000 operator
// sections: the cost per section stays the same as the file grows (linear parsing), so a
// hostile or runaway status file costs the waiting clients time in proportion to its size.
#include "agent/OesStatusFile.h"
#include "host/StatusNames.h"
#include "platform/IniFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tarvo;

std::string statusText(int sections)
{
    std::string text = "[TIME]\r\nTime=20240315-09:30:05\r\n[OESStatus]\r\nOESVersion=V1\r\n"
                       "OESType=SHR\r\nWarningLevel=0\r\nOperatorTotal=" +
                       std::to_string(sections) + "\r\n";
    for (int i = 1; i <= sections; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "A%010d", i);
        text += "[OperatorStatus." + std::to_string(i) + "]\r\nOperator=" + code +
                "\r\nStatus=3\r\nWarningLevel=0\r\nOrdNumSubmitted=1000\r\nOrdNumConfirmed=999\r\n"
                "TradeNumber=500\r\nMaxOrderNumber=90000\r\nCSIP=10.1.1.1\r\nLocalIP=10.2.2.2\r\n"
                "Capability=50\r\nWork=1\r\n";
    }
    return text;
}

// Time per section, so that runs of different sizes compare directly.
void perSection(benchmark::State &state, int sections)
{
    state.SetItemsProcessed(int64_t(state.iterations()) * sections);
    state.counters["per_section"] = benchmark::Counter(
        double(sections), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Parsing alone, plus one lookup per section as a reader makes.
void BM_IniParse(benchmark::State &state)
{
    const int sections = int(state.range(0));
    const std::string text = statusText(sections);
    for (auto _ : state) {
        IniFile ini = IniFile::parse(text);
        benchmark::DoNotOptimize(ini.readString("OperatorStatus." + std::to_string(sections), "Work"));
    }
    perSection(state, sections);
}
BENCHMARK(BM_IniParse)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

// What one status request costs for a status file of that many sections: parse, read every
// operator section, match 20 configured PBUs.
void BM_StatusFileSections(benchmark::State &state)
{
    const int sections = int(state.range(0));
    const std::string text = statusText(sections);
    std::vector<std::unique_ptr<Pbu>> pbus;
    for (int i = 1; i <= 20; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "A%010d", i * (sections / 20));
        pbus.push_back(std::make_unique<Pbu>(OES_NAME_A, code));
    }
    for (auto _ : state) {
        std::string type, version, warningLevel;
        benchmark::DoNotOptimize(OesStatusFile::readStatusText(
            IniFile::parse(text), OES_NAME_A, type, version, warningLevel, "运行", pbus));
    }
    perSection(state, sections);
}
BENCHMARK(BM_StatusFileSections)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
