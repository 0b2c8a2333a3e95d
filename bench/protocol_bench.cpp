// Encoding and decoding of heartbeats, status requests and status responses, against a plain
// checksum pass over the same bytes; prints decode time / checksum time per message.
#include "BenchPackages.h"
#include "host/Host.h"
#include "protocol/Message.h"
#include "protocol/MessageBodies.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <time.h>

using namespace tarvo;

// Counts heap allocations so the benchmarks can report allocations per operation.
static std::atomic<long> g_allocations{0};

void *operator new(std::size_t size)
{
    // The benchmarks run on one thread: a plain increment, not a locked one, so that the count
    // does not add to what it measures.
    g_allocations.store(g_allocations.load(std::memory_order_relaxed) + 1,
                        std::memory_order_relaxed);
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace {

std::string field(const char *id, const std::string &value)
{
    return std::string(id) + "=" + value + FIELD_SEPARATOR;
}

std::string oesRecord(const std::string &name)
{
    return field("85", "Y") + field("89", name) + field("63", "SHR") + field("64", "运行")
           + field("52", "V2.3.1") + field("77", "0");
}

std::string pbuRecord(int i)
{
    char op[16];
    std::snprintf(op, sizeof op, "OP%09d", i);
    return field("89", "A股报盘程序") + field("34", op) + field("63", "SHR") + field("83", "3")
           + field("65", std::to_string(100000 + i)) + field("66", std::to_string(99000 + i))
           + field("67", std::to_string(50000 + i)) + field("90", "999999")
           + field("74", "192.168.10.21") + field("57", "192.168.10.5") + field("75", "100")
           + field("76", "1") + field("77", "0");
}

struct Packages
{
    std::string oes;
    std::string pbu;
};

Packages packagesOf(int pbus)
{
    Packages p{oesRecord("A股报盘程序") + oesRecord("B股报盘程序"), {}};
    for (int i = 0; i < pbus; ++i)
        p.pbu += pbuRecord(i);
    return p;
}

std::unique_ptr<MessageBody> makeBody(int pbus, const Packages &packages)
{
    if (pbus == -2)
        return std::make_unique<BeatMessageBody>();
    if (pbus == -1)
        return std::make_unique<StatusRequestMessageBody>();
    return std::make_unique<StatusResponseMessageBody>("正常运行", "2009-10-23 14:35:07 ", "37",
                                                       "52", "90", "00", packages.oes,
                                                       packages.pbu);
}

// -2 heartbeat, -1 status request, n >= 0 a status response with n PBUs.
std::string wireOf(int pbus)
{
    return Message(PROTOCOL_VERSION, pbus == -2 ? "S" : "C", pbus == -2 ? "-1" : "1234",
                   makeBody(pbus, packagesOf(pbus)))
        .encode();
}

std::string nameOf(int pbus)
{
    if (pbus == -2)
        return "heartbeat";
    if (pbus == -1)
        return "status_request";
    return "status_response_pbu" + std::to_string(pbus);
}

void BM_Encode(benchmark::State &state)
{
    const int pbus = int(state.range(0));
    const size_t size = wireOf(pbus).size();
    const Packages packages = packagesOf(pbus);
    long allocations = 0;
    for (auto _ : state) {
        // Building the body from its values is part of what a sender does.
        const long before = g_allocations.load(std::memory_order_relaxed);
        Message m(PROTOCOL_VERSION, "S", "1234", makeBody(pbus, packages));
        std::string text = m.encode();
        benchmark::DoNotOptimize(text.data());
        allocations += g_allocations.load(std::memory_order_relaxed) - before;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
    state.counters["allocs"] = double(allocations) / double(state.iterations());
    state.SetLabel(nameOf(pbus));
}

void BM_Decode(benchmark::State &state)
{
    const std::string text = wireOf(int(state.range(0)));
    long allocations = 0;
    for (auto _ : state) {
        const long before = g_allocations.load(std::memory_order_relaxed);
        Message m;
        int p = m.decode(text);
        benchmark::DoNotOptimize(p);
        if (p <= 0)
            state.SkipWithError("decode failed");
        allocations += g_allocations.load(std::memory_order_relaxed) - before;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.counters["allocs"] = double(allocations) / double(state.iterations());
    state.SetLabel(nameOf(int(state.range(0))));
}

// The floor: one pass adding up the message's bytes, as the trailer check does.
void BM_CheckSumPass(benchmark::State &state)
{
    const std::string text = wireOf(int(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.data());
        unsigned sum = 0;
        for (unsigned char c : text)
            sum = (sum + c) & 0xFF;
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.SetLabel(nameOf(int(state.range(0))));
}

// The same sum written to vectorise: masking once at the end gives the same result.
void BM_CheckSumPassWide(benchmark::State &state)
{
    const std::string text = wireOf(int(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.data());
        uint32_t sum = 0;
        for (unsigned char c : text)
            sum += c;
        benchmark::DoNotOptimize(sum & 0xFF);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.SetLabel(nameOf(int(state.range(0))));
}

// The unit of the decode goal: one pass adding the bytes one at a time into an unsigned
// accumulator. DoNotOptimize on the accumulator at every byte keeps the compiler from
// vectorising or folding the loop, so it costs one dependent add per byte.
unsigned serialCheckSumPass(std::string_view text)
{
    unsigned sum = 0;
    for (unsigned char c : text) {
        sum += c;
        benchmark::DoNotOptimize(sum);
    }
    return sum & 0xFF;
}

// A status response as an agent sends it at successive polls (counters growing).
std::string agentStatusWire(int pbus, int round)
{
    char hostTime[32];
    std::snprintf(hostTime, sizeof hostTime, "2026-12-08 09:30:%02d ", 10 + round);
    Message m(PROTOCOL_VERSION, "S", std::to_string(1000 + round),
              std::make_unique<StatusResponseMessageBody>(
                  "正常运行", hostTime, "37", "45", "61", "00", bench::runningOesPackage(),
                  bench::runningPbuPackage(pbus, round)));
    return m.encode();
}

// What the console does with every status response: decode it and apply its fields and its
// two packages to the host's records.
void applyStatus(Host &host, std::string_view text)
{
    Message m;
    const int p = m.decode(text);
    const MessageBody *body = m.getBody();
    if (p <= 0 || !body)
        throw std::runtime_error("decode failed");
    host.setHostStatus(body->getFieldValue("hostStatus"));
    host.setHostTime(body->getFieldValue("HostTime"));
    host.setCpuUsage(body->getFieldValue("cpuUsage"));
    host.setMemoryUsage(body->getFieldValue("memoryUsage"));
    host.setDiskUsage(body->getFieldValue("diskUsage"));
    host.setEnvNo(body->getFieldValue("envNo"));
    host.updateOes(body->getFieldValue("oesPackage"));
    host.updatePbus(body->getFieldValue("pbuPackage"));
}

// This thread's CPU time in seconds: other processes on the machine do not count.
double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Decode plus records of one status response, in CPU ns per message ("ns_per_msg"), and in
// serial checksum passes over the same bytes ("passes"), both timed in the same run: every
// iteration (manual time: the batch's decoding) times a batch of responses, about 64 KiB of
// them, and then the checksum pass over the same batch, so that load on the machine weighs
// on both alike.
void BM_DecodeStatusRecords(benchmark::State &state)
{
    const int pbus = int(state.range(0));
    constexpr int ROUNDS = 4;
    std::vector<std::string> texts;
    for (int r = 0; r < ROUNDS; ++r)
        texts.push_back(agentStatusWire(pbus, r));
    const int batch = std::max(ROUNDS, int(65536 / texts[0].size()) / ROUNDS * ROUNDS);
    Host host("bench", "10.0.0.5", "10012", "Y", "Y");
    // The host already holds its PBUs from earlier polls.
    applyStatus(host, texts.back());
    double decodeSeconds = 0;
    double passSeconds = 0;
    long allocations = 0;
    unsigned sums = 0;
    for (auto _ : state) {
        const long before = g_allocations.load(std::memory_order_relaxed);
        const double t0 = threadSeconds();
        for (int k = 0; k < batch; ++k)
            applyStatus(host, texts[size_t(k % ROUNDS)]);
        const double t1 = threadSeconds();
        for (int k = 0; k < batch; ++k)
            sums += serialCheckSumPass(texts[size_t(k % ROUNDS)]);
        const double t2 = threadSeconds();
        allocations += g_allocations.load(std::memory_order_relaxed) - before;
        decodeSeconds += t1 - t0;
        passSeconds += t2 - t1;
        state.SetIterationTime(t1 - t0);
    }
    benchmark::DoNotOptimize(sums);
    const double messages = double(state.iterations()) * batch;
    state.counters["ns_per_msg"] = decodeSeconds * 1e9 / messages;
    state.counters["passes"] = passSeconds > 0 ? decodeSeconds / passSeconds : 0;
    state.counters["pass_ns"] = passSeconds * 1e9 / messages;
    state.counters["bytes"] = double(texts[0].size());
    state.counters["allocs"] = double(allocations) / messages;
    state.counters["pbus"] = double(host.getPbuList().size());
    state.SetLabel("status_response_pbu" + std::to_string(pbus));
}

BENCHMARK(BM_DecodeStatusRecords)->Arg(1)->Arg(20)->Arg(200)->UseManualTime();

#define TARVO_MESSAGES ->Arg(-2)->Arg(-1)->Arg(1)->Arg(20)->Arg(200)
BENCHMARK(BM_Encode) TARVO_MESSAGES;
BENCHMARK(BM_Decode) TARVO_MESSAGES;
BENCHMARK(BM_CheckSumPass) TARVO_MESSAGES;
BENCHMARK(BM_CheckSumPassWide) TARVO_MESSAGES;

// Keeps the time per iteration of every run so main can relate decode to checksum, and the
// passes of every repetition of the status answer benchmark.
class RecordingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred)
                continue;
            // Repetitions reach the reporter one by one, or (with aggregates only) as their
            // median.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median)
                continue;
            if (!median)
                times[run.benchmark_name()] = run.GetAdjustedCPUTime();
            const auto passes = run.counters.find("passes");
            const auto bytes = run.counters.find("bytes");
            if (passes != run.counters.end() && bytes != run.counters.end()) {
                Passes &p = statusPasses[run.run_name.function_name + "/" + run.run_name.args];
                (median ? p.medians : p.values).push_back(passes->second.value);
                p.bytes = bytes->second.value;
                p.repetitions = std::max<size_t>(p.repetitions, size_t(run.repetitions));
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    struct Passes
    {
        std::vector<double> values;
        std::vector<double> medians;
        double bytes = 0;
        size_t repetitions = 0;
    };
    std::map<std::string, double> times;
    std::map<std::string, Passes> statusPasses;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The goal for a status answer and its records: at most this many serial checksum passes.
constexpr double PASSES_GOAL = 5;

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    if (!reporter.statusPasses.empty()) {
        std::printf("\nStatus answer decoded and applied to the host's records, in serial checksum"
                    " passes (goal: <= %.0f for every size; median of the repetitions)\n",
                    PASSES_GOAL);
        for (int pbus : {1, 20, 200}) {
            const auto it =
                reporter.statusPasses.find("BM_DecodeStatusRecords/" + std::to_string(pbus));
            if (it == reporter.statusPasses.end())
                continue;
            const RecordingReporter::Passes &p = it->second;
            const double passes = p.values.empty() ? p.medians.front() : median(p.values);
            const size_t runs = p.values.empty() ? p.repetitions : p.values.size();
            std::printf("  %3d PBU%s %6.0f bytes  %5.2f passes (%zu run%s)%s\n", pbus,
                        pbus == 1 ? " " : "s", p.bytes, passes, runs, runs == 1 ? "" : "s",
                        passes <= PASSES_GOAL ? " ok" : " MISSED");
        }
    }

    bool heading = false;
    for (int pbus : {-2, -1, 1, 20, 200}) {
        char arg[16];
        std::snprintf(arg, sizeof arg, "/%d", pbus);
        auto decode = reporter.times.find(std::string("BM_Decode") + arg);
        auto serial = reporter.times.find(std::string("BM_CheckSumPass") + arg);
        auto wide = reporter.times.find(std::string("BM_CheckSumPassWide") + arg);
        if (decode == reporter.times.end() || serial == reporter.times.end()
            || wide == reporter.times.end() || serial->second <= 0 || wide->second <= 0)
            continue;
        if (!heading) {
            std::printf("\nMessage::decode alone, CPU time / checksum pass CPU time (separate runs,"
                        " for reference)\n"
                        "  byte-serial pass: s = (s + byte) mod 256 per byte; wide pass: one mask"
                        " at the end\n");
            heading = true;
        }
        std::printf("  %-24s %6zu bytes  decode %9.1f ns  byte-serial %8.1f ns (ratio %6.1f)"
                    "  wide %8.1f ns (ratio %6.1f)\n",
                    nameOf(pbus).c_str(), wireOf(pbus).size(), decode->second, serial->second,
                    decode->second / serial->second, wide->second,
                    decode->second / wide->second);
    }
    return 0;
}
