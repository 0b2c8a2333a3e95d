// The whole console in memory (offscreen Qt, scripted agent sockets): one poll cycle over
// 1000 hosts, and one host's refresh with a small and a large PBU table.
#include "BenchPackages.h"
#include "app/Fmain.h"
#include "doubles/ScriptedAgentSocket.h"
#include "doubles/ScriptedDialogs.h"
#include "protocol/Message.h"
#include "protocol/MessageBodies.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

using namespace tarvo;

namespace {

constexpr int kPbusPerHost = 20;
constexpr double kPollPeriodSeconds = 5.0;

std::string hostIp(int index)
{
    return "10." + std::to_string(index / 62500) + "." + std::to_string(index / 250 % 250) + "." +
           std::to_string(index % 250 + 1);
}

std::string oesPackage() { return bench::runningOesPackage(); }

// The same PBUs every round, with counters that move from round to round so that the
// Submitted, Responsed and CJHB cells change (and get flagged) at every refresh.
std::string pbuPackage(int round)
{
    std::string text;
    for (int i = 0; i < kPbusPerHost; ++i) {
        char op[32];
        std::snprintf(op, sizeof op, "%05d%06d", 10000 + i, 100000 + i);
        Pbu p(op, "SHR", "3", std::to_string(1000 + 3 * round + i),
              std::to_string(990 + 3 * round + i), std::to_string(500 + round + i), "99999",
              "198.18.0.1", "10.0.0.5", "50", "正常", "1");
        p.setOesName(i % 2 ? OES_NAME_B : OES_NAME_A);
        text += p.toString();
    }
    return text;
}

// What the first PBU's Submitted cell shows after the answer of `round`.
std::string firstSubmitted(int round) { return std::to_string(1000 + 3 * round); }

// The wire text of one status answer. CPU and memory move too (below the 50% alert line).
std::string statusAnswer(int32_t sequence, const std::string &oes, const std::string &pbus,
                         int round)
{
    Message m(PROTOCOL_VERSION, "S", std::to_string(sequence),
              std::make_unique<StatusResponseMessageBody>(
                  "正常运行", "2026-12-08 09:30:00 ", std::to_string(20 + round % 10),
                  std::to_string(30 + round % 7), "61", "00", oes, pbus));
    return m.encode();
}

// A running console over `hosts` hosts whose agents are scripted. Every host is connected
// and has answered once, so its row and its PBU rows exist.
class Console
{
public:
    explicit Console(int hostCount) : hosts(hostCount), oes(oesPackage())
    {
        {
            std::ofstream list(dir.path().toStdString() + "/TarvoMonitor.CFG",
                               std::ios::binary | std::ios::trunc);
            for (int i = 0; i < hosts; ++i)
                list << "h" << i << "," << hostIp(i) << ",10012,N,N,0,\r\n";
        }
        MainOptions options;
        options.workingDirectory = dir.path().toStdString();
        options.dialogs = &boxes;
        options.startThreads = false;
        options.confirmExit = false;
        options.beep = [] {};
        // The single-host benchmark leaves every other agent quiet for minutes while the
        // event loop runs now and then: the 40 s silence time-out must not close them.
        options.connections.timeoutMs = 24 * 3600 * 1000;
        options.connections.makeSocket = [this] {
            auto socket = std::make_unique<ScriptedAgentSocket>();
            made.push_back(socket->getScript());
            return socket;
        };
        window = std::make_unique<TF_Main>(options);
        // The benchmark polls by itself; the window's own update timer stays out of it.
        for (QTimer *timer : window->findChildren<QTimer *>())
            if (timer->interval() == window->updatePeriod())
                timer->stop();
        window->resize(1280, 900);
        window->show();
        QApplication::processEvents();

        std::map<std::string, std::shared_ptr<ScriptedAgentSocket::Script>> byIp;
        for (const auto &script : made)
            byIp[script->opens.at(0).substr(0, script->opens.at(0).find(':'))] = script;
        for (int i = 0; i < hosts; ++i)
            scripts.push_back(byIp.at(hostIp(i)));
        for (const auto &script : scripts)
            ScriptedAgentSocket::connect(*script);
        for (int i = 0; i < hosts; ++i)
            connections.push_back(window->agentLinks().registry().entries().at(hostIp(i)));
        // The connect callback has asked every host for its status: the first answers
        // append the PBU rows.
        answerAll();
        QApplication::processEvents();
    }

    ~Console()
    {
        window->hide();
        window.reset();
    }

    TF_Main &main() { return *window; }
    int hostCount() const { return hosts; }
    int lastRound() const { return round - 1; }

    // One answer per host for the requests of the poll that is about to be sent: each
    // carries the sequence its connection will write next. Moves on to the next round.
    const std::vector<std::string> &encodeRound()
    {
        const std::string pbus = pbuPackage(round);
        answers.resize(hosts);
        for (int i = 0; i < hosts; ++i)
            answers[i] = statusAnswer(connections[i]->getSentCount(), oes, pbus, round);
        ++round;
        return answers;
    }

    // The answer to the request just sent to one host.
    std::string encodeOne(int host)
    {
        const std::string answer = statusAnswer(connections[host]->getSentCount() - 1, oes,
                                                pbuPackage(round), round);
        ++round;
        return answer;
    }

    // The timed steps stay out of line so that a profiler can collect just them
    // (valgrind --tool=callgrind --toggle-collect='*Console::deliver*').
    [[gnu::noinline]] void poll() { window->agentLinks().poller().pollHostStatus(); }

    [[gnu::noinline]] void deliver(int host, const std::string &bytes)
    {
        ScriptedAgentSocket::receive(*scripts[host], bytes);
    }

    [[gnu::noinline]] void deliverAll()
    {
        for (int i = 0; i < hosts; ++i)
            ScriptedAgentSocket::receive(*scripts[i], answers[i]);
    }

    // What the scripts kept of the requests is of no interest and would only grow.
    void forgetWrites()
    {
        for (const auto &script : scripts) {
            script->written.clear();
            script->writes.clear();
        }
    }

    // Sends one status request to one host (the host table's cursor stands on its row).
    void requestOne(int host)
    {
        window->hostTable().locate("ChannelIP", hostIp(host));
        window->agentLinks().poller().sendStatusRequest();
    }

    // Answers the requests that are out (one per host, of the last poll or the connect).
    void answerAll()
    {
        const std::string pbus = pbuPackage(round);
        for (int i = 0; i < hosts; ++i)
            ScriptedAgentSocket::receive(
                *scripts[i], statusAnswer(connections[i]->getSentCount() - 1, oes, pbus, round));
        ++round;
        forgetWrites();
    }

    // Empty when the tables show what the last answers said, else what is wrong.
    std::string check(int host)
    {
        if (window->pbuTable().count() != hosts * kPbusPerHost)
            return "PBU table holds " + std::to_string(window->pbuTable().count()) + " rows";
        const std::string &status = window->getStatusText();
        if (status.rfind("Error[", 0) == 0)
            return "the console reported an error";
        RecordSet &pbus = window->pbuTable();
        if (!pbus.locate("HostIp", hostIp(host)))
            return "no PBU row for " + hostIp(host);
        // The first PBU row of the host is one of its 20; all moved with the same step.
        const std::string &submitted = pbus.value("Submitted");
        const int first = std::atoi(firstSubmitted(lastRound()).c_str());
        const int shown = std::atoi(submitted.c_str());
        if (shown < first || shown >= first + kPbusPerHost)
            return "PBU row of " + hostIp(host) + " shows " + submitted + ", not round " +
                   std::to_string(lastRound());
        return {};
    }

private:
    int hosts;
    std::string oes;
    int round = 0;
    QTemporaryDir dir;
    ScriptedDialogs boxes;
    std::vector<std::shared_ptr<ScriptedAgentSocket::Script>> made;
    std::vector<std::shared_ptr<ScriptedAgentSocket::Script>> scripts;  // by host index
    std::vector<TMMSocketProcessor *> connections;                      // by host index
    std::vector<std::string> answers;
    std::unique_ptr<TF_Main> window;
};

// Consoles outlive a single run of a benchmark function (the library calls it several
// times); they go before the application does.
std::map<int, std::unique_ptr<Console>> consoles;

Console &console(int hosts)
{
    std::unique_ptr<Console> &slot = consoles[hosts];
    if (!slot)
        slot = std::make_unique<Console>(hosts);
    return *slot;
}

// The process's CPU time in seconds, for the share of the poll period (the library's own
// figure is the same clock, but its counters cannot be derived from it without a unit).
double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Percent of the 5 s poll period that `seconds` spread over `cycles` cycles take.
double shareOfPollPeriod(double seconds, benchmark::IterationCount cycles)
{
    return cycles ? seconds / double(cycles) / kPollPeriodSeconds * 100.0 : 0.0;
}

// One poll cycle: the status requests to every host and every host's answer, through
// framing, dispatch, the host records, the grid observer, the record sets and the Qt models.
// The cycle is pollHostStatus() rather than TimerUpdateTimer(): the timer's tick also saves
// the host list file (two fsyncs), a cost of the disk and not of the cycle. The answers are
// encoded, and the Qt events (painting) processed, with the clock stopped.
void BM_PollCycle(benchmark::State &state)
{
    Console &c = console(int(state.range(0)));
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        c.encodeRound();
        state.ResumeTiming();
        const double start = processCpuSeconds();
        c.poll();
        c.deliverAll();
        cpu += processCpuSeconds() - start;
        state.PauseTiming();
        c.forgetWrites();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    if (const std::string problem = c.check(c.hostCount() - 1); !problem.empty())
        state.SkipWithError(problem.c_str());
    state.counters["share_of_5s_pct"] = shareOfPollPeriod(cpu, state.iterations());
    state.counters["hosts"] = c.hostCount();
}
BENCHMARK(BM_PollCycle)->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->MinTime(2.0);

// The same cycle with the repaint that follows it in the event loop (visible rows only).
void BM_PollCycleWithRepaint(benchmark::State &state)
{
    Console &c = console(int(state.range(0)));
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        c.encodeRound();
        state.ResumeTiming();
        const double start = processCpuSeconds();
        c.poll();
        c.deliverAll();
        QApplication::processEvents();
        cpu += processCpuSeconds() - start;
        state.PauseTiming();
        c.forgetWrites();
        state.ResumeTiming();
    }
    if (const std::string problem = c.check(c.hostCount() - 1); !problem.empty())
        state.SkipWithError(problem.c_str());
    state.counters["share_of_5s_pct"] = shareOfPollPeriod(cpu, state.iterations());
}
BENCHMARK(BM_PollCycleWithRepaint)->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->MinTime(2.0);

// One host's answer (its row and its 20 PBU rows rewritten) with the PBU table holding
// range(0) rows; range(1) 0: the first host (rows on screen), 1: a host in the middle.
// The request that the answer matches goes out with the clock stopped.
void BM_HostRefresh(benchmark::State &state)
{
    const int rows = int(state.range(0));
    Console &c = console(rows / kPbusPerHost);
    const int host = state.range(1) ? c.hostCount() / 2 : 0;
    int answered = 0;
    for (auto _ : state) {
        state.PauseTiming();
        c.requestOne(host);
        const std::string answer = c.encodeOne(host);
        state.ResumeTiming();
        c.deliver(host, answer);
        state.PauseTiming();
        c.forgetWrites();
        // Now and then the views repaint what the answers changed, as the event loop would.
        if (++answered % 256 == 0)
            QApplication::processEvents();
        state.ResumeTiming();
    }
    if (const std::string problem = c.check(host); !problem.empty())
        state.SkipWithError(problem.c_str());
    state.counters["pbu_rows"] = c.main().pbuTable().count();
}
BENCHMARK(BM_HostRefresh)
    ->ArgsProduct({{1000, 100000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime();

// Keeps the CPU time per iteration of every run for the summary lines; with
// --benchmark_repetitions the median of the repetitions.
class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.iterations <= 0 || run.error_occurred)
                continue;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median")
                continue;
            seconds[run.run_name.str()] =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // The run whose name starts with `prefix` (names carry options such as min_time).
    const double *find(const std::string &prefix) const
    {
        auto it = seconds.lower_bound(prefix);
        if (it == seconds.end() || it->first.compare(0, prefix.size(), prefix) != 0)
            return nullptr;
        return &it->second;
    }
    std::map<std::string, double> seconds;
};

void printSummary(const SummaryReporter &reporter)
{
    for (const char *name : {"BM_PollCycle/1000/", "BM_PollCycleWithRepaint/1000/"})
        if (const double *cycle = reporter.find(name))
            std::printf("%s*: %.2f ms CPU per cycle = %.3f%% of the 5 s poll period (goal <= 1%%)\n",
                        name, *cycle * 1e3, *cycle / kPollPeriodSeconds * 100);
    for (const char *position : {"0", "1"}) {
        const std::string prefix = "BM_HostRefresh/";
        const double *small = reporter.find(prefix + "1000/" + position + "/");
        const double *large = reporter.find(prefix + "100000/" + position + "/");
        if (small && large && *small > 0)
            std::printf("host refresh (%s host): %.1f us with 1 000 PBU rows, %.1f us with "
                        "100 000: ratio %.2f (goal <= 1.5)\n",
                        *position == '0' ? "first" : "middle", *small * 1e6, *large * 1e6,
                        *large / *small);
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    printSummary(reporter);
    consoles.clear();
    benchmark::Shutdown();
    return 0;
}
