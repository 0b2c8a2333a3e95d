// The console program against hostile agents on loopback, one case of the table per console
// process: noise, a huge announced body, answers a byte at a time or with wrong sequences,
// connections cut inside an answer or dropped at once, floods of heartbeats and of log
// records, an agent that stops answering (heartbeats only, or answers that do not decode),
// escape sequences for the operator's terminal, reads longer than a message, and a log disk
// that is full. In every case a well-behaved agent beside the hostile one keeps being polled
// on time and its row follows its answers, the console's memory (VmRSS) and what it writes
// (logs and standard output) stay within bounds, and SIGTERM ends it within two seconds.
// Each case prints its figures ("[ hostile ]" lines).
#include "HostilePeers.h"

#include "platform/Gbk.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

using namespace std::chrono_literals;
using namespace test;

constexpr const char *kGoodIp = "127.0.0.2";
constexpr const char *kHostileIp = "127.0.0.3";
// A poll period is about one second (Time=1); under a loaded machine a few are allowed.
constexpr auto kServedWithin = 3500ms;
// The console may grow a little while it works; a buffer that kept what a hostile agent
// sends would pass this at once.
constexpr long kGrowthBoundKb = 16 * 1024;
// The console log, the SysLog files and standard output together.
constexpr uintmax_t kWrittenBound = 4 << 20;
constexpr auto kEndsWithin = 2000ms;

class HostileAgents;

struct HostileCase
{
    const char *name;
    // Serves one connection of the hostile agent.
    void (*serve)(Attack &attack, int fd, const std::string &localIp,
                  const std::atomic<bool> &stop);
    // The attack goes on until this holds (at most `limit`).
    bool (*over)(HostileAgents &test);
    std::chrono::seconds limit;
    // What must then hold of the hostile side.
    void (*check)(HostileAgents &test);
    // Hostile hosts in the host list; null: kHostileIp alone. Many bind 127.0.1.1 and on.
    int (*hostCount)() = nullptr;
    // Before the console starts.
    void (*prepare)(HostileAgents &test) = nullptr;
};

void PrintTo(const HostileCase &c, std::ostream *out) { *out << c.name; }

struct Figures
{
    long rssBefore = 0, rssDuring = 0, rssAfter = 0;
    long longestGapMs = 0, goodPolls = 0, endMs = -1;
    uintmax_t logBytes = 0, outputBytes = 0;
};

class HostileAgents : public ::testing::TestWithParam<HostileCase>
{
public:
    std::string metrics() const { return scrapeMetrics(metricsPort); }
    std::string metric(const std::string &name, const std::string &ip = kHostileIp) const
    {
        return metricOf(metrics(), name, ip);
    }
    std::string output() const { return readFile(console / "monitor.out"); }
    // How often standard output shows `gbkText` (as the console prints it, UTF-8).
    size_t printed(const std::string &gbkText) const
    {
        return test::count(output(), gbk::toUtf8(gbkText));
    }
    std::string consoleLog() const
    {
        return readFile(console / ("logs/MonitorLog_" + logDate() + ".log"));
    }
    std::string sysLog() const
    {
        return readFile(console /
                        ("logs/SysLog_" + std::string(kHostileIp) + "_" + logDate() + ".log"));
    }
    std::string logPath(const std::string &name) const { return console / ("logs/" + name); }
    // Waits for `done`, sampling the console's memory.
    bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds limit = 10s)
    {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            figures.rssDuring = std::max(figures.rssDuring, residentKb(monitor->pid()));
            if (done())
                return true;
            if (Clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(50ms);
        }
    }

    Attack attack;
    TempDir console;

protected:
    void TearDown() override
    {
        // A case that stopped early still shows what it measured.
        if (figures.endMs < 0)
            monitor.reset();
        if (figures.goodPolls == 0 && caseStart != Clock::time_point()) {
            figures.longestGapMs = long(goodAgent.longestGap(caseStart).count());
            figures.goodPolls = long(goodAgent.requestCount() - pollsBefore);
        }
        figures.logBytes = directoryBytes(console / "logs");
        figures.outputBytes = output().size();
        const Figures &f = figures;
        std::printf("[ hostile ] %-22s good host: longest gap %5ld ms, %3ld polls | RSS kB %6ld / "
                    "%6ld / %6ld | logs %6ju kB, stdout %6ju kB | sent %7ld kB | SIGTERM %5ld ms\n",
                    GetParam().name, f.longestGapMs, f.goodPolls, f.rssBefore, f.rssDuring,
                    f.rssAfter, f.logBytes >> 10, f.outputBytes >> 10, attack.sent.load() >> 10,
                    f.endMs);
        RecordProperty("longest_gap_ms", std::to_string(f.longestGapMs));
        RecordProperty("rss_during_kb", std::to_string(f.rssDuring));
        RecordProperty("written_bytes", std::to_string(f.logBytes + f.outputBytes));
        monitor.reset();
    }

    static std::string hostLine(const std::string &name, const std::string &ip, int port)
    {
        return name + "," + ip + "," + std::to_string(port) + ",N,N,0,\r\n";
    }

    // The console on the good agent and `hostileLines`, polling every second.
    void startConsole(const std::string &hostileLines)
    {
        writeFile(console / "TarvoMonitor.CFG",
                  hostLine("good", kGoodIp, good.port()) + hostileLines);
        writeFile(console / "TarvoMonitor.ini", "[Interval]\r\nTime=1\r\n");
        monitor = std::make_unique<ChildProcess>(
            TARVO_MONITOR_EXE,
            std::vector<std::string>{"--dir", console.path(), "--ini", console / "TarvoMonitor.ini",
                                     "--headless", "--instance",
                                     "hostile-" + fs::path(console.path()).filename().string(),
                                     "--metrics",
                                     "127.0.0.1:0"},
            console.path(), console / "monitor.out");
        metricsPort = waitForPort(console / "monitor.out", metricsOn("127.0.0.1"));
        ASSERT_NE(metricsPort, 0) << output();
        // Served and shown before anything hostile happens.
        ASSERT_TRUE(waitUntil([&] { return goodAgent.requestCount() >= 2 && goodRowFollows(); },
                              15s))
            << output();
        figures.rssBefore = figures.rssDuring = residentKb(monitor->pid());
        caseStart = Clock::now();
        pollsBefore = goodAgent.requestCount();
    }

    // The good host's figure is that of its last answer, or of the one before while the
    // last is on its way.
    bool goodRowFollows()
    {
        const std::string shown = metric("tarvo_host_cpu_usage_percent", kGoodIp);
        return shown == std::to_string(goodAgent.cpu()) ||
               shown == std::to_string(goodAgent.previousCpu());
    }

    // The good agent was polled all along and its row shows its latest answer; the memory
    // stayed within the bound.
    void expectGoodServedAndMemoryBounded()
    {
        const size_t seen = goodAgent.requestCount();
        const std::string shownBefore = metric("tarvo_host_cpu_usage_percent", kGoodIp);
        EXPECT_TRUE(waitFor([&] { return goodAgent.requestCount() >= seen + 3; }));
        EXPECT_NE(metric("tarvo_host_cpu_usage_percent", kGoodIp), shownBefore);
        EXPECT_TRUE(waitUntil([&] { return goodRowFollows(); }, 5s))
            << "the good host's row stopped following its answers";
        figures.longestGapMs = long(goodAgent.longestGap(caseStart).count());
        figures.goodPolls = long(goodAgent.requestCount() - pollsBefore);
        EXPECT_LE(goodAgent.longestGap(caseStart), kServedWithin);
        EXPECT_EQ(metric("tarvo_host_up", kGoodIp), "1");
        figures.rssAfter = residentKb(monitor->pid());
        EXPECT_GT(figures.rssBefore, 0);
        EXPECT_LE(figures.rssDuring, figures.rssBefore + kGrowthBoundKb);
        EXPECT_LE(figures.rssAfter, figures.rssBefore + kGrowthBoundKb);
        ASSERT_FALSE(processEnded(monitor->pid())) << "the console ended: " << output();
    }

    // SIGTERM, while the hostile agent may still be at it, ends the console at once; what it
    // wrote stays within the bound.
    void expectEndsOnSigtermAndWroteLittle()
    {
        const auto asked = Clock::now();
        ::kill(monitor->pid(), SIGTERM);
        const bool ended = waitUntil([&] { return processEnded(monitor->pid()); }, 10s);
        figures.endMs = long(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 Clock::now() - asked).count());
        EXPECT_TRUE(ended);
        EXPECT_LE(figures.endMs, kEndsWithin.count());
        figures.logBytes = directoryBytes(console / "logs");
        figures.outputBytes = output().size();
        EXPECT_LE(figures.logBytes + figures.outputBytes, kWrittenBound);
    }

    GoodAgent goodAgent;
    FakeAgent good{kGoodIp, [this](int fd, const std::string &, const std::atomic<bool> &stop) {
                       goodAgent.serve(fd, stop);
                   }};
    int metricsPort = 0;
    std::unique_ptr<ChildProcess> monitor;
    Figures figures;
    Clock::time_point caseStart;
    size_t pollsBefore = 0;
};

TEST_P(HostileAgents, Case)
{
    const HostileCase &c = GetParam();
    const int hosts = c.hostCount ? c.hostCount() : 1;
    FakeAgent hostile(hosts == 1 ? kHostileIp : "0.0.0.0",
                      [&](int fd, const std::string &localIp, const std::atomic<bool> &stop) {
                          c.serve(attack, fd, localIp, stop);
                      },
                      false);
    std::string lines;
    if (hosts == 1)
        lines = hostLine("hostile", kHostileIp, hostile.port());
    for (int i = 0; hosts > 1 && i < hosts; ++i)
        lines += hostLine("h" + std::to_string(i + 1), manyHostIp(i), hostile.port());
    if (c.prepare)
        c.prepare(*this);
    ASSERT_NO_FATAL_FAILURE(startConsole(lines));
    attack.started = Clock::now();
    hostile.release();
    ASSERT_TRUE(waitFor([&] { return c.over(*this); }, c.limit))
        << "count " << attack.count << ", sent " << attack.sent << "\n"
        << output().substr(output().size() > 4000 ? output().size() - 4000 : 0);
    c.check(*this);
    expectGoodServedAndMemoryBounded();
    expectEndsOnSigtermAndWroteLittle();
}

// The log files of today and tomorrow lead to a device that is always full.
void fullLogDisk(HostileAgents &test)
{
    fs::create_directories(test.console / "logs");
    for (int day : {0, 1}) {
        for (const std::string &name :
             {"MonitorLog_" + logDate(day) + ".log",
              "SysLog_" + std::string(kHostileIp) + "_" + logDate(day) + ".log"})
            fs::create_symlink("/dev/full", test.logPath(name));
    }
}

// ------------------------------------------------------------------ the cases

const HostileCase kCases[] = {
    {"RandomNoise", randomNoise, [](HostileAgents &t) { return t.attack.done.load(); }, 20s,
     [](HostileAgents &t) {
         EXPECT_TRUE(waitUntil([&] { return t.metric("tarvo_host_up") == "0"; }));
         EXPECT_EQ(t.printed("Error[探针127.0.0.3消息过长]"), 1u);
     }},
    {"HugeAnnouncedBody", hugeAnnouncedBody, [](HostileAgents &t) { return t.attack.done.load(); },
     5s, [](HostileAgents &t) { EXPECT_EQ(t.printed("Error[探针127.0.0.3消息过长]"), 1u); }},
    {"OneByteAtATime", oneByteAtATime, [](HostileAgents &t) { return t.attack.count >= 3; }, 20s,
     [](HostileAgents &t) {
         EXPECT_TRUE(waitUntil([&] { return t.metric("tarvo_host_cpu_usage_percent") == "66"; }));
         EXPECT_EQ(t.metric("tarvo_host_up"), "1");
         EXPECT_EQ(t.metric("tarvo_host_stale"), "0");
     }},
    {"WrongSequences", wrongSequences, [](HostileAgents &t) { return t.attack.count >= 4; }, 20s,
     [](HostileAgents &t) {
         EXPECT_NE(t.metric("tarvo_host_cpu_usage_percent"), "77");
         EXPECT_EQ(t.metric("tarvo_host_up"), "1");
         // Answers that match no request are no answers.
         EXPECT_TRUE(waitUntil([&] { return t.metric("tarvo_host_stale") == "1"; }));
     }},
    {"CutInsideAnAnswer", cutInsideAnAnswer,
     [](HostileAgents &t) { return t.attack.count >= cutsOfAnAnswer(); }, 60s,
     [](HostileAgents &t) {
         EXPECT_TRUE(waitUntil([&] {
             const std::string text = t.metrics();
             for (int i = 0; i < cutsOfAnAnswer(); ++i)
                 if (metricOf(text, "tarvo_host_up", manyHostIp(i)) != "0")
                     return false;
             return true;
         }, 10s));
         const std::string text = t.metrics();
         for (int i = 0; i < cutsOfAnAnswer(); ++i)
             EXPECT_NE(metricOf(text, "tarvo_host_cpu_usage_percent", manyHostIp(i)), "55") << i;
     },
     cutsOfAnAnswer},
    {"ConnectAndDrop", acceptAndDrop, [](HostileAgents &t) { return t.attack.count >= 200; }, 30s,
     [](HostileAgents &t) {
         EXPECT_TRUE(waitUntil([&] {
             const std::string text = t.metrics();
             for (int i = 0; i < 200; ++i)
                 if (metricOf(text, "tarvo_host_up", manyHostIp(i)) != "0")
                     return false;
             return true;
         }, 10s));
     },
     twoHundred},
    {"HeartbeatFlood", heartbeatFlood, [](HostileAgents &t) { return t.attack.done.load(); }, 15s,
     [](HostileAgents &t) {
         // One line a second stands for the heartbeats of that second.
         const std::string log = t.consoleLog();
         EXPECT_NE(log.find("Beat message received from 127.0.0.3 ("), std::string::npos);
         EXPECT_LE(test::count(log, "Beat message received from 127.0.0.3"), 20u);
         EXPECT_EQ(t.metric("tarvo_host_up"), "1");
     }},
    {"LogRecordFlood", logRecordFlood,
     [](HostileAgents &t) {
         return t.attack.done && t.printed("Error[探针127.0.0.3日志记录过多(每秒超过20条), 暂停记录]");
     },
     15s,
     [](HostileAgents &t) {
         const std::string resumed = "探针127.0.0.3日志恢复记录, 期间丢弃";
         EXPECT_TRUE(t.waitFor([&] { return t.printed(resumed) > 0; }));
         EXPECT_EQ(t.printed("日志记录过多"), 1u);
         EXPECT_EQ(t.printed(resumed), 1u);
         const double seconds =
             std::chrono::duration<double>(Clock::now() - t.attack.started).count();
         const size_t line = 20 + 20 + kFloodRecord.size();
         EXPECT_LE(t.sysLog().size(), size_t((100 + 20 * seconds) * double(line)));
     }},
    {"OnlyHeartbeats", onlyHeartbeats,
     [](HostileAgents &t) { return t.metric("tarvo_host_stale") == "1"; }, 15s,
     [](HostileAgents &t) {
         EXPECT_EQ(t.printed("Error[报盘机[Ip:127.0.0.3]连续3次轮询未应答]"), 1u);
         EXPECT_TRUE(t.waitFor([&] { return t.printed("无应答") > 0; }, 5s));  // the table
         EXPECT_EQ(t.metric("tarvo_host_up"), "1");
         t.attack.turn = true;
         EXPECT_TRUE(t.waitFor([&] { return t.printed("报盘机[Ip:127.0.0.3]恢复应答") == 1; }));
         EXPECT_TRUE(waitUntil([&] { return t.metric("tarvo_host_stale") == "0"; }));
     }},
    {"UndecodableAnswers", undecodableAnswers,
     [](HostileAgents &t) { return t.metric("tarvo_host_stale") == "1"; }, 15s,
     [](HostileAgents &t) {
         EXPECT_EQ(t.printed("Error[报盘机[Ip:127.0.0.3]连续3次轮询未应答]"), 1u);
         EXPECT_NE(t.consoleLog().find("exception from 127.0.0.3: "), std::string::npos);
         t.attack.turn = true;
         EXPECT_TRUE(t.waitFor([&] { return t.printed("报盘机[Ip:127.0.0.3]恢复应答") == 1; }));
         EXPECT_TRUE(waitUntil([&] { return t.metric("tarvo_host_cpu_usage_percent") == "21"; }));
     }},
    {"TerminalInjection", terminalInjection,
     [](HostileAgents &t) { return t.attack.done && t.printed("消息解析错误") > 0; }, 15s,
     [](HostileAgents &t) {
         const std::string out = t.output();
         for (const char control : {'\x1b', '\x07', '\r'})
             EXPECT_EQ(out.find(control), std::string::npos) << int(control);
         EXPECT_NE(out.find("\\x1b]0;owned\\x07title"), std::string::npos);
         EXPECT_NE(out.find("\\x1b[2Jcleared"), std::string::npos);
         EXPECT_NE(out.find("\\x1b]\xE2\x80\xA6"), std::string::npos);  // a PBU cell, cut
         EXPECT_NE(out.find("[127.0.0.3 E 3]ok\\x0d\\x0a127.0.0.2"), std::string::npos);
         EXPECT_NE(out.find("\\x1b[31mred"), std::string::npos);  // the quoted raw bytes
         // The files keep the bytes.
         EXPECT_NE(t.sysLog().find("[127.0.0.3 E 1]" + kTitle + "title"), std::string::npos);
         EXPECT_NE(t.sysLog().find(kForgedLine), std::string::npos);
     }},
    {"LongReads", longReads,
     [](HostileAgents &t) {
         return t.attack.count >= 3 && t.metric("tarvo_host_cpu_usage_percent") == "45";
     },
     20s,
     [](HostileAgents &t) {
         EXPECT_EQ(test::count(t.sysLog(), "[127.0.0.3 E 1]"), 90u);
         EXPECT_EQ(t.printed("消息过长"), 0u);
         EXPECT_EQ(t.metric("tarvo_host_up"), "1");
         EXPECT_EQ(t.metric("tarvo_host_stale"), "0");
     }},
    {"FullLogDisk", answersAndRecords,
     [](HostileAgents &t) {
         return t.printed("Error[无法写入日志文件") > 0 &&
                t.printed("Error[无法写入探针127.0.0.3的日志文件") > 0;
     },
     15s,
     [](HostileAgents &t) {
         EXPECT_NE(t.output().find("No space left on device"), std::string::npos);
         // Room again: told once for each file.
         for (const std::string &name :
              {"MonitorLog_" + logDate() + ".log", "SysLog_127.0.0.3_" + logDate() + ".log"})
             fs::remove(t.logPath(name));
         EXPECT_TRUE(t.waitFor([&] {
             return t.printed(" 日志文件恢复写入") == 1 &&
                    t.printed("探针127.0.0.3的日志文件恢复写入") == 1;
         }));
         EXPECT_EQ(t.printed("Error[无法写入日志文件"), 1u);
         EXPECT_EQ(t.printed("Error[无法写入探针127.0.0.3的日志文件"), 1u);
         EXPECT_NE(t.consoleLog().find("日志文件恢复写入"), std::string::npos);
         EXPECT_NE(t.sysLog().find("[127.0.0.3 I 1]record"), std::string::npos);
     },
     nullptr, fullLogDisk},
};

INSTANTIATE_TEST_SUITE_P(Console, HostileAgents, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace tarvo
