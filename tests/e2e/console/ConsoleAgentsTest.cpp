// Whole-program tests of the console: TF_Main with real sockets against TarvoMonitorAgent and
// simulated order-submission programs, one installation and one loopback address per host.
#include "ClosedPort.h"
#include "SimulatedHost.h"

#include "app/Fmain.h"
#include "doubles/ScriptedDialogs.h"
#include "platform/Gbk.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace tarvo {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string kStamp = "2009-06-01 09:05:03 ";
const std::string kRunning = "运行";

using Installation = test::SimulatedHost;

// Key of a PBU row of `host`.
std::string pbuKey(const Installation &host, const std::string &oesName, const std::string &code)
{
    return oesName + code + host.ip;
}

int occurrences(const std::string &text, const std::string &part)
{
    return int(test::count(text, part));
}

class ConsoleAgents : public ::testing::Test
{
protected:
    // Processes Qt events until `condition` holds or `limit` has passed.
    static bool settle(const std::function<bool()> &condition,
                       std::chrono::milliseconds limit = 10s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }

    // Runs polling ticks until `condition` holds after the answers of one of them.
    bool pollUntil(const std::function<bool()> &condition, std::chrono::milliseconds limit = 10s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            window->TimerUpdateTimer();
            if (settle(condition, 300ms))
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
        }
    }

    Installation &addHost(const std::string &name, const std::string &ip,
                          const std::string &envNo = "00", bool withProgramB = true)
    {
        hosts.push_back(std::make_unique<Installation>());
        Installation &host = *hosts.back();
        host.name = name;
        host.ip = ip;
        host.envNo = envNo;
        host.layOut(withProgramB);
        return host;
    }

    static void startAgent(Installation &host, std::vector<std::string> extra = {})
    {
        host.startAgent(std::move(extra));
    }

    void startHosts(std::vector<std::string> agentArgs = {})
    {
        for (auto &host : hosts) {
            ASSERT_NO_FATAL_FAILURE(host->startPrograms());
            ASSERT_NO_FATAL_FAILURE(host->startAgent(agentArgs));
        }
    }

    // The console on every added host plus `extraLines` of the host list; no polling timer
    // of its own within a test (60 s period), threads not started, the clock injected.
    void startConsole(const std::string &extraLines = {})
    {
        std::string list;
        for (const auto &host : hosts)
            list += host->hostListLine();
        test::writeFile(console / "TarvoMonitor.CFG", list + extraLines);
        test::writeFile(console / "TarvoMonitor.ini", "[Interval]\r\nTime=60\r\n[Log]\r\nDebug=OFF\r\n");
        MainOptions options;
        options.workingDirectory = console.path();
        options.settingsPath = console / "TarvoMonitor.ini";
        options.dialogs = &boxes;
        options.clock = [] { return LocalTime{2009, 6, 1, 9, 5, 3}; };
        options.random = [] { return 100u; };
        options.startThreads = false;
        options.confirmExit = false;
        options.connections.nowMs = [this] { return nowMs; };
        window = std::make_unique<TF_Main>(options);
    }

    // --- reading the console
    std::string hostField(const std::string &ip, const std::string &field) const
    {
        const std::vector<int> rows = window->hostTable().findAll("ChannelIP", ip);
        return rows.empty() ? "<no row>" : window->hostTable().valueAt(rows.front(), field);
    }
    std::vector<int> pbuRows(const std::string &ip) const
    {
        return window->pbuTable().findAll("HostIp", ip);
    }
    std::string pbuField(const std::string &key, const std::string &field) const
    {
        const std::vector<int> rows = window->pbuTable().findAll("PbuIden", key);
        return rows.empty() ? "<no row>" : window->pbuTable().valueAt(rows.front(), field);
    }
    // Both programs running and all four PBU rows running.
    bool reportsRunning(const Installation &host) const
    {
        if (hostField(host.ip, "OESStatusA") != kRunning ||
            hostField(host.ip, "OESStatusB") != kRunning)
            return false;
        const std::vector<int> rows = pbuRows(host.ip);
        return rows.size() == 4 && std::all_of(rows.begin(), rows.end(), [&](int row) {
                   return window->pbuTable().valueAt(row, "Status") == kRunning;
               });
    }
    bool allConnected() const
    {
        return std::all_of(hosts.begin(), hosts.end(), [&](const auto &host) {
            return hostField(host->ip, "Connection") == "已连接";
        });
    }
    // Connected, and every host reports both programs and its PBUs running.
    void waitUntilEveryHostRuns()
    {
        ASSERT_TRUE(settle([&] { return allConnected(); })) << tables();
        ASSERT_TRUE(pollUntil([&] {
            return std::all_of(hosts.begin(), hosts.end(),
                               [&](const auto &host) { return reportsRunning(*host); });
        })) << tables();
    }
    int errorLines(const std::string &text) const
    {
        const auto &lines = window->errorList().lines();
        return int(std::count(lines.begin(), lines.end(), kStamp + text));
    }
    // Position of the first error-list line equal to the stamped text, or -1.
    int errorLineAt(const std::string &text, int from = 0) const
    {
        const auto &lines = window->errorList().lines();
        auto it = std::find(lines.begin() + std::min<size_t>(from, lines.size()), lines.end(),
                            kStamp + text);
        return it == lines.end() ? -1 : int(it - lines.begin());
    }
    std::string consoleLog() const
    {
        return test::readFile(console / "logs/MonitorLog_2009-06-01.log");
    }
    int beeps() const { return window->errorBeepThread()->pendingBeeps; }
    void resetBeeps() { window->errorBeepThread()->pendingBeeps = 0; }
    std::map<std::string, long long> submittedCounts(const std::string &ip) const
    {
        std::map<std::string, long long> counts;
        for (int row : pbuRows(ip)) {
            const std::string &text = window->pbuTable().valueAt(row, "Submitted");
            counts[window->pbuTable().valueAt(row, "PbuIden")] = text.empty() ? -1 : std::stoll(text);
        }
        return counts;
    }
    void connectHost(const std::string &ip)
    {
        ASSERT_TRUE(window->hostTable().locate("ChannelIP", ip));
        window->agentLinks().registry().connectCurrentHost();
    }
    // Both tables and the error list in UTF-8, for failure messages.
    std::string tables() const
    {
        std::string out;
        const RecordSet &h = window->hostTable();
        for (int i = 0; i < h.count(); ++i)
            out += h.valueAt(i, "ChannelIP") + " " + h.valueAt(i, "Connection") + " A=" +
                   h.valueAt(i, "OESStatusA") + " B=" + h.valueAt(i, "OESStatusB") + " env=" +
                   h.valueAt(i, "EnvNo") + "\n";
        const RecordSet &p = window->pbuTable();
        for (int i = 0; i < p.count(); ++i)
            out += "  " + p.valueAt(i, "PbuIden") + " " + p.valueAt(i, "Status") + " " +
                   p.valueAt(i, "Submitted") + "\n";
        for (const std::string &line : window->errorList().lines())
            out += "| " + line + "\n";
        return gbk::toUtf8(out);
    }

    std::vector<std::unique_ptr<Installation>> hosts;
    test::TempDir console;
    ScriptedDialogs boxes;
    double nowMs = 1.0e12;
    // Last, so the console goes before the agents and programs it watches.
    std::unique_ptr<TF_Main> window;
};

TEST_F(ConsoleAgents, StartUpConnectsEveryAgentAndFillsBothTablesAndCountersGrow)
{
    Installation &h2 = addHost("h2", "127.0.0.2", "00");
    Installation &h3 = addHost("h3", "127.0.0.3", "03");
    Installation &h4 = addHost("h4", "127.0.0.4", "00");
    ASSERT_NO_FATAL_FAILURE(startHosts());
    startConsole();
    ASSERT_NO_FATAL_FAILURE(waitUntilEveryHostRuns());

    EXPECT_EQ(hostField(h2.ip, "EnvNo"), "生产环境");
    EXPECT_EQ(hostField(h3.ip, "EnvNo"), "测试环境[03]");
    EXPECT_EQ(hostField(h4.ip, "EnvNo"), "生产环境");
    for (const auto &host : hosts) {
        SCOPED_TRACE(host->ip);
        EXPECT_EQ(hostField(host->ip, "hostName"), host->name);
        EXPECT_EQ(hostField(host->ip, "OESVersion"), "V1.0.0-sim");
        EXPECT_EQ(hostField(host->ip, "activePBUs"), "4");
        EXPECT_EQ(hostField(host->ip, "InactivePBUs"), "0");
        EXPECT_EQ(hostField(host->ip, "CpuUsage").back(), '%');
        for (const char *code : {"A0000000001", "A0000000002"})
            EXPECT_EQ(pbuField(pbuKey(*host, "A股报盘程序", code), "OES"), "A股报盘程序") << code;
        for (const char *code : {"B0000000001", "B0000000002"})
            EXPECT_EQ(pbuField(pbuKey(*host, "B股报盘程序", code), "OESStatus"), kRunning) << code;
    }
    EXPECT_EQ(window->pbuTable().count(), 12);
    // One PBU row in full: the operator number split into ID and operator, the addresses.
    const std::string a1 = pbuKey(h3, "A股报盘程序", "A0000000001");
    EXPECT_EQ(pbuField(a1, "HostIp"), "127.0.0.3");
    EXPECT_EQ(pbuField(a1, "ID"), "A0000");
    EXPECT_EQ(pbuField(a1, "Operator"), "000001");
    EXPECT_EQ(pbuField(a1, "CSIP"), "127.0.0.1");
    EXPECT_EQ(pbuField(a1, "LocalIP"), "127.0.0.1");
    EXPECT_EQ(pbuField(a1, "Capability"), "1000");

    // Later polls bring growing order counts for every PBU of every host.
    std::map<std::string, std::map<std::string, long long>> before;
    for (const auto &host : hosts)
        before[host->ip] = submittedCounts(host->ip);
    ASSERT_TRUE(pollUntil([&] {
        for (const auto &host : hosts)
            for (const auto &[key, count] : submittedCounts(host->ip))
                if (count <= before[host->ip][key])
                    return false;
        return true;
    })) << tables();
    EXPECT_EQ(window->statusPanelText(1), "HOST:0/3 PBU:0/12");

    // Each host: the attempt is announced at start-up, the success once the socket opened.
    for (const auto &host : hosts) {
        SCOPED_TRACE(host->ip);
        const int attempt = errorLineAt("开始连接" + host->ip);
        const int success = errorLineAt("报盘机[Ip:" + host->ip + "]连接成功");
        ASSERT_GE(attempt, 0) << tables();
        EXPECT_GT(success, attempt);
        EXPECT_EQ(errorLines("报盘机[Ip:" + host->ip + "]连接成功"), 1);
    }
    EXPECT_EQ(window->errorList().lines().front(), kStamp + "Monitor正常运行");
    const std::string log = consoleLog();
    EXPECT_NE(log.find(kStamp + "报盘机[Ip:127.0.0.4]连接成功\r\n"), std::string::npos);
    // Nothing stopped, nothing closed: no alarm, no network error.
    EXPECT_EQ(beeps(), 0);
    EXPECT_EQ(log.find("网络错误"), std::string::npos);
    EXPECT_EQ(log.find("Exception"), std::string::npos) << gbk::toUtf8(log);
}

TEST_F(ConsoleAgents, StoppedPbuShowsStoppedOnItsOwnHostOnlyAndRaisesTheAlarm)
{
    Installation &h2 = addHost("h2", "127.0.0.2");
    Installation &h3 = addHost("h3", "127.0.0.3");
    ASSERT_NO_FATAL_FAILURE(startHosts());
    startConsole();
    ASSERT_NO_FATAL_FAILURE(waitUntilEveryHostRuns());
    resetBeeps();

    const std::string stopped = pbuKey(h2, "A股报盘程序", "A0000000002");
    test::writeFile(h2.dir / "monitor/ASHR_sim.txt", "A0000000002\n");
    ASSERT_TRUE(pollUntil([&] { return pbuField(stopped, "Status") == "停止"; })) << tables();
    EXPECT_EQ(beeps(), 5);
    EXPECT_EQ(pbuField(stopped, "OESStatus"), kRunning);
    // The host counts it as sleeping once the whole update is through.
    ASSERT_TRUE(settle([&] { return hostField(h2.ip, "InactivePBUs") == "1"; })) << tables();
    EXPECT_EQ(hostField(h2.ip, "activePBUs"), "3");
    EXPECT_EQ(pbuField(pbuKey(h2, "A股报盘程序", "A0000000001"), "Status"), kRunning);
    // The same operator on the other host is untouched.
    EXPECT_EQ(pbuField(pbuKey(h3, "A股报盘程序", "A0000000002"), "Status"), kRunning);
    EXPECT_EQ(hostField(h3.ip, "InactivePBUs"), "0");
    EXPECT_EQ(hostField(h2.ip, "Connection"), "已连接");

    // Released again: running, counted active, and no new alarm.
    resetBeeps();
    test::writeFile(h2.dir / "monitor/ASHR_sim.txt", "");
    ASSERT_TRUE(pollUntil([&] {
        return pbuField(stopped, "Status") == kRunning && hostField(h2.ip, "InactivePBUs") == "0";
    })) << tables();
    EXPECT_EQ(hostField(h2.ip, "activePBUs"), "4");
    EXPECT_EQ(beeps(), 0);
}

TEST_F(ConsoleAgents, KilledAgentEmptiesItsRowAndComesBackAfterRestartAndReconnect)
{
    Installation &h2 = addHost("h2", "127.0.0.2");
    Installation &h3 = addHost("h3", "127.0.0.3", "03");
    Installation &h4 = addHost("h4", "127.0.0.4");
    ASSERT_NO_FATAL_FAILURE(startHosts());
    startConsole();
    ASSERT_NO_FATAL_FAILURE(waitUntilEveryHostRuns());
    resetBeeps();

    h3.agent->kill();
    ASSERT_TRUE(settle([&] { return hostField(h3.ip, "Connection") == "已断开"; })) << tables();
    for (const char *field : {"OESStatusA", "OESStatusB", "activePBUs", "InactivePBUs",
                              "OESVersion", "EnvNo", "CpuUsage", "DiskUsage", "MemoryUsage",
                              "WarningLevelA", "WarningLevelB", "PbuPrinted"})
        EXPECT_EQ(hostField(h3.ip, field), "") << field;
    EXPECT_TRUE(pbuRows(h3.ip).empty());
    EXPECT_EQ(beeps(), 5);
    const int closed = errorLineAt("报盘机[Ip:127.0.0.3]断开连接");
    EXPECT_GE(closed, 0) << tables();
    EXPECT_NE(consoleLog().find(kStamp + "报盘机[Ip:127.0.0.3]断开连接\r\n"), std::string::npos);
    // The other hosts go on being polled.
    resetBeeps();
    const auto h2Before = submittedCounts(h2.ip);
    ASSERT_TRUE(pollUntil([&] {
        const auto now = submittedCounts(h2.ip);
        return now.size() == 4 && now.begin()->second > h2Before.begin()->second;
    })) << tables();
    EXPECT_EQ(hostField(h2.ip, "Connection"), "已连接");
    EXPECT_EQ(hostField(h4.ip, "Connection"), "已连接");
    EXPECT_EQ(pbuRows(h4.ip).size(), 4u);
    EXPECT_EQ(hostField(h3.ip, "Connection"), "已断开");
    EXPECT_EQ(beeps(), 0);

    ASSERT_NO_FATAL_FAILURE(startAgent(h3));
    // Within 3 s of the start-up attempt (the clock has not moved) the console refuses.
    connectHost(h3.ip);
    EXPECT_EQ(errorLines("报盘机[Ip:127.0.0.3]请勿短时间重复连接"), 1);
    EXPECT_FALSE(settle([&] { return hostField(h3.ip, "Connection") == "已连接"; }, 300ms));

    nowMs += 3000;
    connectHost(h3.ip);
    ASSERT_TRUE(settle([&] { return hostField(h3.ip, "Connection") == "已连接"; })) << tables();
    ASSERT_TRUE(pollUntil([&] { return reportsRunning(h3); })) << tables();
    EXPECT_EQ(hostField(h3.ip, "EnvNo"), "测试环境[03]");
    EXPECT_EQ(errorLines("开始连接127.0.0.3"), 3);
    EXPECT_GT(errorLineAt("报盘机[Ip:127.0.0.3]连接成功", closed), closed);
    EXPECT_EQ(errorLines("报盘机[Ip:127.0.0.3]请勿短时间重复连接"), 1);
    EXPECT_EQ(window->pbuTable().count(), 12);
}

TEST_F(ConsoleAgents, RefusedConnectionEarlyReconnectAndAgentLogRecords)
{
    // 127.0.0.5: nobody listens. 127.0.0.6: an installation without its B-share program,
    // whose agent reports the configuration problem in a log record to every console.
    Installation &h6 = addHost("h6", "127.0.0.6", "00", /*withProgramB=*/false);
    ASSERT_NO_FATAL_FAILURE(startAgent(h6));
    const std::string refused = "127.0.0.5";
    const test::ClosedPort nobody(refused);
    startConsole("h5," + refused + "," + std::to_string(nobody.port()) + ",N,N,0,\r\n");

    const std::string networkError = "网络错误,错误号:111";
    ASSERT_TRUE(settle([&] { return errorLines(networkError) == 1; })) << tables();
    EXPECT_GT(errorLineAt(networkError), errorLineAt("开始连接" + refused));
    EXPECT_EQ(hostField(refused, "Connection"), "未连接");
    EXPECT_EQ(errorLines("报盘机[Ip:" + refused + "]连接成功"), 0);
    EXPECT_EQ(errorLines("报盘机[Ip:" + refused + "]断开连接"), 0);

    // Again at once: refused by the guard, no new attempt.
    connectHost(refused);
    EXPECT_EQ(errorLines("开始连接" + refused), 2);
    const int guarded = errorLineAt("报盘机[Ip:" + refused + "]请勿短时间重复连接");
    EXPECT_EQ(guarded, int(window->errorList().size()) - 1) << tables();
    // Three seconds later the attempt is made and refused by the network once more.
    nowMs += 3000;
    connectHost(refused);
    ASSERT_TRUE(settle([&] { return errorLines(networkError) == 2; })) << tables();
    EXPECT_EQ(errorLines("报盘机[Ip:" + refused + "]请勿短时间重复连接"), 1);
    EXPECT_EQ(hostField(refused, "Connection"), "未连接");
    EXPECT_NE(consoleLog().find(kStamp + networkError + "\r\n"), std::string::npos);

    // The broken installation's record: in the error list and, untrimmed, in its SysLog file.
    ASSERT_TRUE(settle([&] { return hostField(h6.ip, "Connection") == "已连接"; })) << tables();
    // Record 1 greets the connection; record 2 answers the status request it cannot serve.
    auto recordLine = [&](const std::string &prefix) {
        for (const std::string &line : window->errorList().lines())
            if (line.rfind(prefix, 0) == 0)
                return line;
        return std::string();
    };
    const std::string greeting = kStamp + "[127.0.0.6 ERROR 1]configuration cannot be loaded: ";
    const std::string failedRequest = kStamp + "[127.0.0.6 ERROR 2]request \"02\" sequence 0 failed: ";
    ASSERT_TRUE(settle([&] {
        return !recordLine(greeting).empty() && !recordLine(failedRequest).empty();
    })) << tables();
    const std::string first = recordLine(greeting);
    const std::string second = recordLine(failedRequest);
    const std::string problem = "无法找到B股报盘程序启动文件。";
    EXPECT_NE(first.find(problem), std::string::npos) << gbk::toUtf8(first);
    EXPECT_NE(second.find(problem), std::string::npos) << gbk::toUtf8(second);
    // The file holds the records back to back, nothing between or after them.
    const std::string sysLog = console / "logs/SysLog_127.0.0.6_2009-06-01.log";
    ASSERT_TRUE(fs::exists(sysLog));
    EXPECT_EQ(test::readFile(sysLog), first + second);
    // Records stay out of the console log.
    EXPECT_EQ(consoleLog().find("[127.0.0.6 ERROR"), std::string::npos);
    EXPECT_FALSE(fs::exists(console / "logs/SysLog_127.0.0.5_2009-06-01.log"));
}

TEST_F(ConsoleAgents, HeartbeatsGoOutAfterFiveQuietSecondsAndAgentBeatsAreLogged)
{
    Installation &h2 = addHost("h2", "127.0.0.2");
    Installation &h3 = addHost("h3", "127.0.0.3");
    // The agents' own heartbeat after 300 quiet milliseconds instead of five seconds.
    ASSERT_NO_FATAL_FAILURE(startHosts({"--heartbeat-ms", "300"}));
    startConsole();
    ASSERT_NO_FATAL_FAILURE(waitUntilEveryHostRuns());

    const std::string sent2 = kStamp + "Beat message sent to " + h2.ip + "\r\n";
    const std::string sent3 = kStamp + "Beat message sent to " + h3.ip + "\r\n";
    // The status request just sent counts as traffic: exactly 5000 ms later is not yet quiet.
    window->sendHeartbeats();
    nowMs += 5000;
    window->sendHeartbeats();
    EXPECT_EQ(occurrences(consoleLog(), "Beat message sent to "), 0);

    nowMs += 1;
    window->sendHeartbeats();
    EXPECT_EQ(occurrences(consoleLog(), sent2), 1);
    EXPECT_EQ(occurrences(consoleLog(), sent3), 1);
    // The beat itself was a send: the next pass finds both connections busy.
    window->sendHeartbeats();
    EXPECT_EQ(occurrences(consoleLog(), "Beat message sent to "), 2);

    // A poll, then more than five quiet seconds again: one more beat each.
    window->TimerUpdateTimer();
    nowMs += 5001;
    window->sendHeartbeats();
    EXPECT_EQ(occurrences(consoleLog(), sent2), 2);
    EXPECT_EQ(occurrences(consoleLog(), sent3), 2);

    // The agents' beats reach the console log only; the connections stay open.
    ASSERT_TRUE(settle([&] {
        const std::string log = consoleLog();
        return log.find(kStamp + "Beat message received from 127.0.0.2\r\n") != std::string::npos &&
               log.find(kStamp + "Beat message received from 127.0.0.3\r\n") != std::string::npos;
    })) << gbk::toUtf8(consoleLog());
    for (const std::string &line : window->errorList().lines())
        EXPECT_EQ(line.find("Beat message"), std::string::npos) << line;
    EXPECT_TRUE(allConnected()) << tables();
    EXPECT_EQ(beeps(), 0);
}

} // namespace
} // namespace tarvo
