// Cost of one status request on the agent and of its parts, with 10 and 100 PBUs.
#include "agent/AgentConfig.h"
#include "agent/AgentExecutors.h"
#include "agent/HostControl.h"
#include "agent/OesStatusFile.h"
#include "agent/SystemStatus.h"
#include "host/StatusNames.h"
#include "platform/ProcessList.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

using namespace tarvo;

// A temporary installation with both programs watched, `pbus` PBUs in all (half each),
// and status files listing every one of them as logged in.
class BenchInstallation
{
public:
    explicit BenchInstallation(int pbus)
    {
        char pattern[] = "/tmp/tarvo-agent-bench-XXXXXX";
        dir = ::mkdtemp(pattern);
        previous = std::filesystem::current_path();
        std::filesystem::current_path(dir);
        std::filesystem::create_directories("cfgA");
        std::filesystem::create_directories("cfgB");
        std::filesystem::create_directories("monitor");
        write("TarvoMonitorAgent.ini", "[Tarvo]\r\nA股报盘程序=Y\r\nB股报盘程序=Y\r\n");
        write("Tarvo_ASHR.exe", "");
        write("Tarvo_BSHR.exe", "");
        write("tarvo.ini", "[TARVO]\r\nenvNo=00\r\n");
        for (const char *share : {"A", "B"}) {
            const int count = pbus / 2;
            std::string config = "[System]\r\nOperatorCounts=" + std::to_string(count) + "\r\n";
            std::string status = "[TIME]\r\nTime=20240315-09:30:05\r\n[OESStatus]\r\n"
                                 "OESVersion=V1\r\nOESType=SHR\r\nWarningLevel=0\r\n"
                                 "OperatorTotal=" + std::to_string(count) + "\r\n";
            for (int i = 1; i <= count; ++i) {
                char code[16];
                std::snprintf(code, sizeof code, "%s%010d", share, i);
                config += "[oper" + std::to_string(i) + "]\r\nOperCode=" + code + "\r\n";
                status += "[OperatorStatus." + std::to_string(i) + "]\r\nOperator=" + code +
                          "\r\nStatus=3\r\nWarningLevel=0\r\nOrdNumSubmitted=1000\r\n"
                          "OrdNumConfirmed=999\r\nTradeNumber=500\r\nMaxOrderNumber=90000\r\n"
                          "CSIP=10.1.1.1\r\nLocalIP=10.2.2.2\r\nCapability=50\r\nWork=1\r\n";
            }
            write(std::string("cfg") + share + "/SystemConfiguration.ini", config);
            write(std::string("monitor/") + share + "SHR_status.txt", status);
        }
    }
    ~BenchInstallation()
    {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(dir);
    }
    std::string iniPath() const { return dir + "/TarvoMonitorAgent.ini"; }
    std::string statusFileA() const { return dir + "/monitor/ASHR_status.txt"; }

private:
    static void write(const std::string &path, const std::string &text)
    {
        std::ofstream(path, std::ios::binary) << text;
    }
    std::string dir;
    std::filesystem::path previous;
};

void BM_StatusExecute(benchmark::State &state)
{
    BenchInstallation inst(static_cast<int>(state.range(0)));
    AgentConfig config(inst.iniPath());
    config.load();
    SystemStatus system;
    HostControl clock;
    for (auto _ : state)
        benchmark::DoNotOptimize(executeStatusRequest(config, system, clock));
}
BENCHMARK(BM_StatusExecute)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_ProcessScan(benchmark::State &state)
{
    SystemProcessList list;
    size_t count = 0;
    for (auto _ : state) {
        auto processes = list.snapshot();
        count = processes.size();
        benchmark::DoNotOptimize(processes);
    }
    state.counters["processes"] = static_cast<double>(count);
}
BENCHMARK(BM_ProcessScan)->Unit(benchmark::kMicrosecond);

void BM_StatusFileRead(benchmark::State &state)
{
    const int pbus = static_cast<int>(state.range(0));
    BenchInstallation inst(pbus * 2);
    std::vector<std::unique_ptr<Pbu>> configured;
    for (int i = 1; i <= pbus; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "A%010d", i);
        configured.push_back(std::make_unique<Pbu>(OES_NAME_A, code));
    }
    OesStatusFile file(inst.statusFileA());
    std::string type, version, level;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            file.readStatusFile(OES_NAME_A, type, version, level, statusNames[3], configured));
}
BENCHMARK(BM_StatusFileRead)->Arg(5)->Arg(50)->Unit(benchmark::kMicrosecond);

void BM_Sampling(benchmark::State &state)
{
    SystemStatus system;
    for (auto _ : state) {
        benchmark::DoNotOptimize(system.sample());
        benchmark::DoNotOptimize(system.memoryUsage());
        benchmark::DoNotOptimize(system.diskUsageOf("/tmp/"));
    }
}
BENCHMARK(BM_Sampling)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
