// The console as a program against real agents: headless, its tables, its console log, the
// host list file and /metrics follow a PBU that stops and starts again, and SIGTERM ends it;
// --once is a check plugin (0 all well, 1 a PBU stopped, 2 a host silent, 3 bad usage); a
// headless console reconnects a restarted agent and runs its alarm command.
#include "ClosedPort.h"
#include "SimulatedHost.h"

#include "platform/Gbk.h"

#include <gtest/gtest.h>

#include <csignal>

namespace tarvo {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A simulated host on `ip` with environment number `envNo`, started.
struct Host : test::SimulatedHost
{
    void start(const std::string &env)
    {
        envNo = env;
        SimulatedHost::start();
    }
    bool listening() const
    {
        return agentLog().find("listening on " + ip + ":" + std::to_string(port)) !=
               std::string::npos;
    }
};

TEST(HeadlessConsole, TablesLogsAndMetricsFollowAStoppedPbuAndSigtermEndsIt)
{
    Host h2, h3;
    h2.ip = "127.0.0.2";
    h3.ip = "127.0.0.3";
    h2.start("00");
    h3.start("03");
    test::TempDir console;
    const std::string list = "h2,127.0.0.2," + std::to_string(h2.port) + ",N,N,0,\r\n" +
                             "h3,127.0.0.3," + std::to_string(h3.port) + ",N,N,0,\r\n";
    test::writeFile(console / "TarvoMonitor.CFG", list);
    test::writeFile(console / "TarvoMonitor.ini", "[Interval]\r\nTime=1\r\n");
    ASSERT_TRUE(test::waitUntil([&] { return h2.listening() && h3.listening(); }));
    test::ChildProcess monitor(TARVO_MONITOR_EXE,
                               {"--dir", console.path(), "--ini", console / "TarvoMonitor.ini",
                                "--headless", "--instance", "headless-e2e", "--metrics",
                                "127.0.0.1:0"},
                               console.path(), console / "monitor.out");
    const int metricsPort = test::waitForPort(console / "monitor.out", test::metricsOn("127.0.0.1"));
    ASSERT_NE(metricsPort, 0) << test::readFile(console / "monitor.out");
    const std::string stoppedPbu = "operator=\"000002\",pbu=\"A0000\",program=\"" +
                                   gbk::toUtf8("A股报盘程序") + "\"";
    auto pbuState = [&](const std::string &state) {
        const std::string metrics = test::scrapeMetrics(metricsPort);
        for (size_t at = metrics.find("tarvo_pbu_state{"); at != std::string::npos;
             at = metrics.find("tarvo_pbu_state{", at + 1)) {
            const std::string line = metrics.substr(at, metrics.find('\n', at) - at);
            if (line.find("host=\"127.0.0.2\"") != std::string::npos &&
                line.find(stoppedPbu) != std::string::npos)
                return line.substr(line.rfind(' ') + 1) == state;
        }
        return false;
    };
    ASSERT_TRUE(test::waitUntil([&] { return pbuState("3"); }, 15s))
        << test::scrapeMetrics(metricsPort) << test::readFile(console / "monitor.out");
    const std::string metrics = test::scrapeMetrics(metricsPort);
    EXPECT_NE(metrics.find("tarvo_host_up{environment=\"03\",host=\"127.0.0.3\",name=\"h3\"} 1"),
              std::string::npos)
        << metrics;

    test::writeFile(h2.dir / "monitor/ASHR_sim.txt", "A0000000002\n");
    ASSERT_TRUE(test::waitUntil([&] { return pbuState("1"); }, 15s))
        << test::scrapeMetrics(metricsPort);
    ASSERT_TRUE(test::waitUntil([&] {
        return test::readFile(console / "monitor.out").find(gbk::toUtf8("停止")) != std::string::npos;
    }, 10s));
    test::writeFile(h2.dir / "monitor/ASHR_sim.txt", "");
    ASSERT_TRUE(test::waitUntil([&] { return pbuState("3"); }, 15s))
        << test::scrapeMetrics(metricsPort);

    EXPECT_EQ(monitor.kill(test::ChildProcess::Stop::Terminate), 0);
    const std::string out = test::readFile(console / "monitor.out");
    EXPECT_NE(out.find(gbk::toUtf8("Monitor正常退出")), std::string::npos) << out;
    EXPECT_NE(out.find(gbk::toUtf8("测试环境[03]")), std::string::npos) << out;
    // The list is saved with what the agents reported: both programs and the four PBUs each.
    const std::string saved = test::readFile(console / "TarvoMonitor.CFG");
    EXPECT_EQ(saved.rfind("h2,127.0.0.2," + std::to_string(h2.port) + ",Y,Y,4,A股报盘程序,"
                          "A0000000001,A股报盘程序,A0000000002,B股报盘程序,B0000000001,",
                          0),
              0u)
        << saved;
    EXPECT_NE(saved.find("\r\nh3,127.0.0.3,"), std::string::npos) << saved;
    bool loggedConnect = false;
    for (const auto &entry : fs::directory_iterator(console / "logs")) {
        if (entry.path().filename().string().rfind("MonitorLog_", 0) == 0)
            loggedConnect = test::readFile(entry.path().string())
                                .find("报盘机[Ip:127.0.0.2]连接成功\r\n") != std::string::npos;
    }
    EXPECT_TRUE(loggedConnect);
}

TEST(OnceConsole, ACheckPluginsExitCodesAndStatusLine)
{
    Host h2, h3;
    h2.ip = "127.0.0.2";
    h3.ip = "127.0.0.3";
    h2.start("00");
    h3.start("03");
    ASSERT_TRUE(test::waitUntil([&] { return h2.listening() && h3.listening(); }));
    test::TempDir console;
    const std::string list = "h2,127.0.0.2," + std::to_string(h2.port) + ",N,N,0,\r\n" +
                             "h3,127.0.0.3," + std::to_string(h3.port) + ",N,N,0,\r\n";
    const test::ClosedPort nobody("127.0.0.9");
    const std::string gone = "gone,127.0.0.9," + std::to_string(nobody.port()) + ",N,N,0,\r\n";
    struct Case
    {
        const char *name;
        std::string hostList;
        std::string stopped;  // operators the A-share program holds stopped
        std::vector<std::string> options;
        int code;
        std::string status;
    } cases[] = {
        {"all well", list, "", {}, 0, "TARVO OK - 2 of 2 hosts answered, 4 of 4 programs and 8 of 8 PBUs run"},
        {"a PBU stopped", list, "A0000000002\n", {}, 1, "TARVO WARNING - 2 of 2 hosts answered"},
        {"a host silent", list + gone, "", {}, 2, "TARVO CRITICAL - 2 of 3 hosts answered"},
        {"bad usage", list, "", {"--timeout", "0"}, 3, "TARVO UNKNOWN - bad usage"},
    };
    // The simulated programs log their PBUs in after they start (the PBUs are "未知" until
    // then): the cases begin once a check finds every one running.
    test::writeFile(console / "TarvoMonitor.CFG", list);
    ASSERT_TRUE(test::waitUntil([&] {
        std::string output;
        return test::runProgram(TARVO_MONITOR_EXE, {"--dir", console.path(), "--once"},
                                console.path(), output) == 0;
    }, 15s));
    for (const Case &c : cases) {
        test::writeFile(console / "TarvoMonitor.CFG", c.hostList);
        test::writeFile(h2.dir / "monitor/ASHR_sim.txt", c.stopped);
        std::vector<std::string> arguments = {"--dir", console.path(), "--once", "--timeout", "10"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        // The simulator writes its status file now and then, on a loaded machine later: the
        // stop counts once a check has seen it.
        if (!c.stopped.empty()) {
            ASSERT_TRUE(test::waitUntil([&] {
                std::string seen;
                return test::runProgram(TARVO_MONITOR_EXE, arguments, console.path(), seen) ==
                       c.code;
            }, 15s)) << c.name;
        }
        const auto started = std::chrono::steady_clock::now();
        std::string output;
        EXPECT_EQ(test::runProgram(TARVO_MONITOR_EXE, arguments, console.path(), output), c.code)
            << c.name << "\n" << output;
        // It ends once every host answered or failed, not at the time-out.
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << c.name;
        EXPECT_EQ(output.rfind(c.status, 0), 0u) << c.name << "\n" << output;
    }
    test::writeFile(h2.dir / "monitor/ASHR_sim.txt", "");
}

TEST(HeadlessConsole, ReconnectsARestartedAgentAndRunsTheAlarmCommand)
{
    Host h2;
    h2.ip = "127.0.0.2";
    h2.start("00");
    ASSERT_TRUE(test::waitUntil([&] { return h2.listening(); }));
    test::TempDir console;
    test::writeFile(console / "TarvoMonitor.CFG",
                    "h2,127.0.0.2," + std::to_string(h2.port) + ",N,N,0,\r\n");
    test::writeFile(console / "TarvoMonitor.ini", "[Interval]\r\nTime=1\r\n");
    // The alarm command: a small script that writes its environment to a file per event.
    // (Written aside and renamed, so that a file seen is a file complete.)
    test::writeFile(console / "alarm.sh", "#!/bin/sh\nenv > \"" + (console / "tmp.") + "$$\" && mv \"" +
                                              (console / "tmp.") + "$$\" \"" +
                                              (console / "event.") + "$TARVO_EVENT.$$\"\n");
    fs::permissions(console / "alarm.sh", fs::perms::owner_all);
    test::ChildProcess monitor(TARVO_MONITOR_EXE,
                               {"--dir", console.path(), "--ini", console / "TarvoMonitor.ini",
                                "--headless", "--instance", "reconnect-e2e", "--reconnect", "4",
                                "--on-alarm", console / "alarm.sh"},
                               console.path(), console / "monitor.out");
    const std::string connected = gbk::toUtf8("报盘机[Ip:127.0.0.2]连接成功");
    const auto count = [&](const std::string &text) {
        const std::string out = test::readFile(console / "monitor.out");
        size_t n = 0;
        for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1))
            ++n;
        return n;
    };
    const auto events = [&](const std::string &kind) {
        size_t n = 0;
        for (const auto &entry : fs::directory_iterator(console.path()))
            n += entry.path().filename().string().rfind("event." + kind + ".", 0) == 0;
        return n;
    };
    ASSERT_TRUE(test::waitUntil([&] { return count(connected) == 1; }, 10s))
        << test::readFile(console / "monitor.out");
    // A second headless console of the same instance says so and ends: nothing to bring forward.
    test::TempDir second;
    std::string refused;
    EXPECT_EQ(test::runProgram(TARVO_MONITOR_EXE,
                               {"--dir", second.path(), "--headless", "--instance", "reconnect-e2e"},
                               second.path(), refused),
              1);
    EXPECT_NE(refused.find("already running"), std::string::npos) << refused;

    // The agent restarts: the console reconnects by itself within the bound.
    h2.agent->kill(test::ChildProcess::Stop::Terminate);
    ASSERT_TRUE(test::waitUntil([&] { return events("connection_lost") == 1; }, 10s));
    h2.startAgent();
    ASSERT_TRUE(test::waitUntil([&] { return count(connected) == 2; }, 15s))
        << test::readFile(console / "monitor.out");
    EXPECT_GE(count(gbk::toUtf8("开始连接127.0.0.2")), 2u);
    // An answer of the new connection shows the PBU running: a PBU already stopped when its
    // host is first seen again is no change, and one whose state is still unknown ("未知",
    // the simulator has not written it yet) does not stop either, so the stop waits for it.
    const std::string running = gbk::toUtf8("A0000  000001     运行      运行");
    ASSERT_TRUE(test::waitUntil([&] {
        const std::string out = test::readFile(console / "monitor.out");
        const size_t reconnected = out.rfind(connected);
        return reconnected != std::string::npos && out.find(running, reconnected) != std::string::npos;
    }, 15s)) << test::readFile(console / "monitor.out");

    // A PBU stops: its own event.
    test::writeFile(h2.dir / "monitor/ASHR_sim.txt", "A0000000001\n");
    ASSERT_TRUE(test::waitUntil([&] { return events("pbu_stopped") >= 1; }, 15s))
        << test::readFile(console / "monitor.out");
    for (const auto &entry : fs::directory_iterator(console.path())) {
        if (entry.path().filename().string().rfind("event.pbu_stopped.", 0) != 0)
            continue;
        const std::string env = test::readFile(entry.path().string());
        EXPECT_NE(env.find("TARVO_PBU=A0000000001\n"), std::string::npos) << env;
        EXPECT_NE(env.find("TARVO_HOST=127.0.0.2\n"), std::string::npos) << env;
    }
    EXPECT_EQ(monitor.kill(test::ChildProcess::Stop::Terminate), 0);
}

} // namespace
} // namespace tarvo
