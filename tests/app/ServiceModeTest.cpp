// The console in service: the automatic reconnect, the alarm command, --once as a check
// plugin, the append-mode changes and the per-user files of an installed console.
#include "AgentTestSupport.h"

#include "app/AlarmCommand.h"
#include "app/AutoReconnect.h"
#include "app/CheckResult.h"
#include "app/ConsolePaths.h"
#include "app/HeadlessConsole.h"
#include "app/LinkStats.h"
#include "app/PollOnce.h"
#include "app/ProgramOptions.h"
#include "display/GridTables.h"
#include "host/HostSubjectPool.h"
#include "platform/Gbk.h"
#include "platform/InstallLayout.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <sys/stat.h>

namespace tarvo {
namespace {

using namespace tarvo::testing;

// Runs the event loop until `done` or `ms` pass (the commands are real processes).
bool spinUntil(const std::function<bool()> &done, int ms = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class ServiceMode : public test::AgentConsole
{
protected:
    // A command that writes its environment to a file of its own per run.
    std::string envScript()
    {
        const std::string script = dir.file("alarm.sh");
        test::writeFile(script, "#!/bin/sh\nenv > \"" + dir.file("alarm.") + "$$\"\n");
        ::chmod(script.c_str(), 0755);
        return script;
    }
    std::vector<std::string> alarmFiles() const
    {
        std::vector<std::string> files;
        for (const auto &entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().filename().string().rfind("alarm.", 0) == 0 &&
                entry.path().extension() != ".sh")
                files.push_back(test::readFile(entry.path().string()));
        return files;
    }
};

TEST_F(ServiceMode, AnAgentThatComesBackIsReconnectedWithGrowingDelaysUpToTheBound)
{
    auto window = start("h1,127.0.0.1,10012,N,N,0,\r\n");
    LinkStats stats(window->agentLinks());
    AutoReconnect::Settings settings;
    settings.boundMs = 20000;
    settings.nowMs = [this] { return now; };
    settings.random = [] { return 0u; };  // no jitter: the whole delay
    settings.startTimer = false;
    AutoReconnect reconnect(window->agentLinks(), window->hostPool(), settings, &stats);
    ScriptedAgentSocket::connect(*sockets[0]);
    ScriptedAgentSocket::peerClose(*sockets[0]);
    ASSERT_EQ(sockets[0]->opens.size(), 1u);

    // Each refused attempt doubles the delay: 5 s, 10 s, then the bound of 20 s.
    const struct { double afterMs; size_t opens; } steps[] = {
        {4999, 1}, {1, 2}, {9999, 2}, {1, 3}, {19999, 3}, {1, 4}, {20000, 5}};
    for (const auto &step : steps) {
        now += step.afterMs;
        reconnect.tick();
        EXPECT_EQ(sockets[0]->opens.size(), step.opens) << "at +" << step.afterMs;
        if (sockets[0]->opens.size() == step.opens && step.afterMs == 1)
            ScriptedAgentSocket::fail(*sockets[0], 111);
    }
    EXPECT_TRUE(logged("开始连接127.0.0.1"));
    ScriptedAgentSocket::connect(*sockets[0]);
    EXPECT_EQ(field(*window, "127.0.0.1", "Connection"), "已连接");
    EXPECT_EQ(stats.hosts().at("127.0.0.1").reconnects, 1u);
    EXPECT_EQ(stats.hosts().at("127.0.0.1").lostConnections, 1u);
    EXPECT_EQ(reconnect.attempts(), 4u);

    // Disconnected by the operator: it stays so.
    window->hostGridState().viewSetSelection({window->hostTable().recIdAt(0)});
    window->agentLinks().registry().disconnectSelectedHosts();
    now += 60000;
    reconnect.tick();
    EXPECT_EQ(sockets[0]->opens.size(), 5u);
}

// Several hosts, one still connected between two that dropped and one the operator
// disconnected: each is judged by its own link, whatever its neighbours in the list.
TEST_F(ServiceMode, EachDroppedHostOfSeveralIsReconnectedAndNoOther)
{
    auto window = start("h1,127.0.0.1,10012,N,N,0,\r\nh2,127.0.0.2,10012,N,N,0,\r\n"
                        "h3,127.0.0.3,10012,N,N,0,\r\nh4,127.0.0.4,10012,N,N,0,\r\n");
    AutoReconnect::Settings settings;
    settings.nowMs = [this] { return now; };
    settings.random = [] { return 0u; };
    settings.startTimer = false;
    AutoReconnect reconnect(window->agentLinks(), window->hostPool(), settings);
    ASSERT_EQ(sockets.size(), 4u);
    for (const auto &socket : sockets)
        ScriptedAgentSocket::connect(*socket);
    ScriptedAgentSocket::peerClose(*sockets[0]);
    ScriptedAgentSocket::peerClose(*sockets[2]);
    window->hostGridState().viewSetSelection({window->hostTable().recIdAt(3)});
    window->agentLinks().registry().disconnectSelectedHosts();

    now += 5000;
    reconnect.tick();
    const size_t opens[] = {2, 1, 2, 1};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(sockets[i]->opens.size(), opens[i]) << "host " << i + 1;
    EXPECT_EQ(reconnect.attempts(), 2u);
}

TEST_F(ServiceMode, TheAlarmCommandGetsAStoppedPbuAndALostConnectionInItsEnvironment)
{
    auto window = start("沪一,127.0.0.1,10012,N,N,0,\r\n");
    AlarmCommand::Settings settings;
    settings.command = envScript();
    settings.now = [] { return std::string("2009-06-01T09:05:03+08:00"); };
    std::vector<std::string> reports;
    AlarmCommand command(settings, [&](const std::string &text) { reports.push_back(text); });
    QObject::connect(window.get(), &TF_Main::alarmRaised, window.get(),
                     [&](const AlarmEvent &event) { command.raise(event); });
    ScriptedAgentSocket::connect(*sockets[0]);
    answer(*sockets[0], {pbu(OES_NAME_A, "A0000000001", "3")});
    window->agentLinks().poller().sendStatusRequest();
    answer(*sockets[0], {pbu(OES_NAME_A, "A0000000001", "1")});
    ScriptedAgentSocket::peerClose(*sockets[0]);
    ASSERT_TRUE(spinUntil([&] { return alarmFiles().size() == 2 && command.running() == 0; }));

    std::string pbuEvent, lostEvent;
    for (const std::string &env : alarmFiles())
        (env.find("TARVO_EVENT=pbu_stopped") != std::string::npos ? pbuEvent : lostEvent) = env;
    for (const char *line : {"TARVO_HOST=127.0.0.1", "TARVO_PBU=A0000000001",
                             "TARVO_TIME=2009-06-01T09:05:03+08:00"})
        EXPECT_NE(pbuEvent.find(std::string(line) + "\n"), std::string::npos) << line << pbuEvent;
    // Chinese values arrive as UTF-8.
    for (const char *line : {"TARVO_HOST_NAME=沪一", "TARVO_PROGRAM=A股报盘程序", "TARVO_STATE=停止"})
        EXPECT_NE(pbuEvent.find(gbk::toUtf8(line) + "\n"), std::string::npos) << pbuEvent;
    EXPECT_NE(lostEvent.find("TARVO_EVENT=connection_lost\n"), std::string::npos) << lostEvent;
    EXPECT_NE(lostEvent.find(gbk::toUtf8("TARVO_TEXT=报盘机[Ip:127.0.0.1]断开连接\n")),
              std::string::npos) << lostEvent;
    EXPECT_TRUE(reports.empty()) << reports.front();
}

struct CommandCase
{
    const char *name;
    const char *script;    // body of the command, "" for one that does not exist
    const char *report;    // the start of what the console is told
};

class AlarmCommandFailures : public ServiceMode, public ::testing::WithParamInterface<CommandCase>
{
};

TEST_P(AlarmCommandFailures, AreReportedAndNeverWaitedFor)
{
    const CommandCase &c = GetParam();
    std::string path = dir.file("cmd.sh");
    if (*c.script) {
        test::writeFile(path, std::string("#!/bin/sh\n") + c.script + "\n");
        ::chmod(path.c_str(), 0755);
    } else {
        path = dir.file("missing-command");
    }
    AlarmCommand::Settings settings;
    settings.command = path;
    settings.timeoutMs = 300;
    settings.mostAtOnce = 1;
    settings.mostWaiting = 1;
    std::vector<std::string> reports;
    AlarmCommand command(settings, [&](const std::string &text) { reports.push_back(text); });
    QElapsedTimer raising;
    raising.start();
    for (int i = 0; i < 3; ++i)
        command.raise(AlarmEvent{});
    EXPECT_LT(raising.elapsed(), 200);  // the console goes on at once
    ASSERT_TRUE(spinUntil([&] { return command.running() == 0 && command.waiting() == 0; }));
    const auto has = [&](const std::string &start) {
        return std::any_of(reports.begin(), reports.end(),
                           [&](const std::string &r) { return r.rfind(start, 0) == 0; });
    };
    EXPECT_TRUE(has(std::string("Error[报警命令") + path + c.report)) << c.name;
    // One runs, one waits, the third is dropped: said once.
    EXPECT_TRUE(has(std::string("Error[报警命令") + path + "排队已满(1)")) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, AlarmCommandFailures,
    ::testing::Values(CommandCase{"exit code", "exit 3", "退出码3"},
                      CommandCase{"time-out", "exec sleep 5", "运行超过0秒, 已终止"},
                      CommandCase{"missing", "", "无法启动"}),
    [](const auto &info) { return std::string(info.param.name[0] == 'e' ? "ExitCode"
                                              : info.param.name[0] == 't' ? "Timeout" : "Missing"); });

struct CheckCase
{
    const char *name;
    bool answers;
    const char *pbuState;
    int code;
    const char *status;
};

class CheckPlugin : public test::AgentConsole, public ::testing::WithParamInterface<CheckCase>
{
};

TEST_P(CheckPlugin, OneStatusLineAndTheExitCodeOfTheConventions)
{
    const CheckCase &c = GetParam();
    auto window = start("h1,127.0.0.1,10012,Y,N,0,\r\nh2,127.0.0.2,10012,N,N,0,\r\n");
    PollOnce once(*window, 60000);
    bool finished = false;
    QObject::connect(&once, &PollOnce::finished, [&] { finished = true; });
    ScriptedAgentSocket::connect(*sockets[0]);
    answer(*sockets[0], {pbu(OES_NAME_A, "A0000000001", c.pbuState)});
    if (c.answers) {
        ScriptedAgentSocket::connect(*sockets[1]);
        answer(*sockets[1], {});
    } else {
        ScriptedAgentSocket::fail(*sockets[1], 111);  // refused: failed, not waited for
    }
    ASSERT_TRUE(spinUntil([&] { return finished; }, 2000)) << "waited for the deadline";
    const CheckResult result = judgeCheck(window->hostTable(), window->pbuTable(),
                                          window->hostPool(), once.answeredSet(), {});
    EXPECT_EQ(result.code, c.code) << result.statusLine;
    EXPECT_EQ(result.statusLine.rfind(c.status, 0), 0u) << result.statusLine;
}

INSTANTIATE_TEST_SUITE_P(
    Once, CheckPlugin,
    ::testing::Values(
        CheckCase{"Ok", true, "3", 0,
                  "TARVO OK - 2 of 2 hosts answered, 4 of 4 programs and 1 of 1 PBUs run | "
                  "hosts_answered=2;;;0;2 programs_running=4;;;0;4 pbus_running=1;;;0;1"},
        CheckCase{"PbuStopped", true, "1", 1, "TARVO WARNING - 2 of 2 hosts answered, 4 of 4 programs and 0 of 1"},
        CheckCase{"HostSilent", false, "3", 2, "TARVO CRITICAL - 1 of 2 hosts answered"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(CheckPluginFiles, UnreadableFilesAndAnEmptyListAreUnknown)
{
    auto hosts = makeHostTable();
    auto pbus = makePbuTable();
    HostSubjectPool pool;
    EXPECT_EQ(judgeCheck(*hosts, *pbus, pool, {}, {"/srv/TarvoMonitor.CFG"}).statusLine,
              "TARVO UNKNOWN - cannot read /srv/TarvoMonitor.CFG");
    EXPECT_EQ(judgeCheck(*hosts, *pbus, pool, {}, {}).code, CheckResult::Unknown);
    EXPECT_EQ(parseProgramOptions({"--once", "--timeout", "x"}).error.empty(), false);
}

TEST_F(ServiceMode, AppendModePrintsOnlyTheRowsWhoseStateChanged)
{
    auto window = start("h1,127.0.0.1,10012,N,N,0,\r\nh2,127.0.0.2,10012,N,N,0,\r\n");
    std::FILE *out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    HeadlessConsole console(*window, out, HeadlessConsole::Mode::Lines);
    console.printTables(true);
    ScriptedAgentSocket::connect(*sockets[0]);
    ScriptedAgentSocket::connect(*sockets[1]);
    answer(*sockets[0], {pbu(OES_NAME_A, "A0000000001", "3", "10"), pbu(OES_NAME_A, "A0000000002", "3")});
    answer(*sockets[1], {});
    console.printTables();
    const long start = std::ftell(out);
    // Counters and usages move: nothing to say. Then one PBU stops: its row alone.
    window->agentLinks().poller().pollHostStatus();
    answer(*sockets[0], {pbu(OES_NAME_A, "A0000000001", "3", "99"), pbu(OES_NAME_A, "A0000000002", "3")}, "55");
    answer(*sockets[1], {}, "66");
    console.printTables();
    EXPECT_EQ(std::ftell(out), start);
    window->agentLinks().poller().pollHostStatus();
    answer(*sockets[0], {pbu(OES_NAME_A, "A0000000001", "3", "99"), pbu(OES_NAME_A, "A0000000002", "1")}, "55");
    answer(*sockets[1], {}, "66");
    console.printTables();
    std::string text(size_t(std::ftell(out) - start), '\0');
    std::fseek(out, start, SEEK_SET);
    ASSERT_EQ(std::fread(text.data(), 1, text.size(), out), text.size());
    std::fclose(out);
    EXPECT_NE(text.find(gbk::toUtf8(kStamp + "PBU ") + padColumn("127.0.0.1", 16) +
                        padColumn(OES_NAME_A, 13) + padColumn("A0000", 7) + padColumn("000002", 11)),
              std::string::npos) << text;
    EXPECT_EQ(text.find("000001"), std::string::npos) << text;
    // Neither host's connection or programs changed: no host line.
    EXPECT_EQ(text.find(gbk::toUtf8("报盘机")), std::string::npos) << text;
}

struct PathCase
{
    const char *executable;
    const char *dir;
    const char *ini;
    const char *expectDir;   // "" keeps the working directory
    const char *expectIni;   // "" beside the executable
};

class ConsoleFiles : public ::testing::TestWithParam<PathCase>
{
};

TEST_P(ConsoleFiles, AnInstalledConsoleStartedWithoutDirOrIniUsesTheUsersFolders)
{
    const PathCase &c = GetParam();
    ProgramOptions options;
    options.directory = c.dir;
    options.iniPath = c.ini;
    const auto environment = [](const char *name) -> std::string {
        if (std::string(name) == "HOME")
            return "/home/op";
        return std::string(name) == "XDG_CONFIG_HOME" ? "/cfg" : "";
    };
    const ConsolePaths paths = consolePaths(options, c.executable, environment);
    EXPECT_EQ(paths.directory, c.expectDir);
    EXPECT_EQ(paths.iniPath, c.expectIni);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ConsoleFiles,
    ::testing::Values(
        PathCase{"/usr/bin/TarvoMonitor", "", "", "/home/op/.local/share/tarvo", "/cfg/tarvo/TarvoMonitor.ini"},
        PathCase{"/usr/bin/TarvoMonitor", "/srv/t", "", "/srv/t", ""},
        PathCase{"/usr/bin/TarvoMonitor", "", "my.ini", "", "my.ini"},
        PathCase{"/work/build/programs/monitor/TarvoMonitor", "", "", "", ""},
        PathCase{"/opt/tarvo/TarvoMonitor", "", "", "", ""}));

TEST(InstallLayout, SettingsLiveInTheEtcBesideAUsrPrefixOrInThePrefixsOwn)
{
    const std::pair<const char *, const char *> cases[] = {
        {"/usr/sbin/TarvoMonitorAgent", "/etc"},
        {"/usr/local/sbin/TarvoMonitorAgent", "/usr/local/etc"},
        {"/tmp/root/usr/sbin/TarvoMonitorAgent", "/tmp/root/etc"},
        {"/usr/bin/TarvoMonitor", "/etc"},
        {"/opt/tarvo/TarvoMonitorAgent", ""},
        {"build/programs/agent/TarvoMonitorAgent", ""},
    };
    for (const auto &[executable, etc] : cases)
        EXPECT_EQ(installedConfigDirectory(executable).value_or(""), etc) << executable;
}

} // namespace
} // namespace tarvo
