// Whole programs: a simulated installation with both order-submission programs running,
// TarvoMonitorAgent on a free loopback port, and a console-side client over TCP.
#include "EndToEndFixture.h"

#include "platform/ProcessList.h"

namespace tarvo {
namespace {

TEST_F(EndToEnd, StatusFollowsTheProgramsAndTroubleshootingAnswersEveryCheck)
{
    layOut();
    startSimulator("Tarvo_ASHR.exe", programA);
    startSimulator("Tarvo_BSHR.exe", programB);
    startAgent();
    test::Client client(port);
    ASSERT_TRUE(client.connected());

    StatusView status;
    ASSERT_TRUE(pollStatus(client, [](const StatusView &s) {
        if (s.programs.size() != 2 || s.programs[0].getOesStatus() != "运行" ||
            s.programs[1].getOesStatus() != "运行" || s.pbus.size() != 4)
            return false;
        // Both programs have written their status files.
        for (const Pbu &pbu : s.pbus)
            if (pbu.getPbuStatus() != "3")
                return false;
        return true;
    }, status)) << "programs: " << status.programs.size();
    EXPECT_EQ(status.programs[0].getOesName(), "A股报盘程序");
    EXPECT_EQ(status.programs[0].getOesExist(), "Y");
    EXPECT_EQ(status.programs[0].getOesType(), "ASHR");
    EXPECT_EQ(status.programs[0].getOesVersion(), "V1.0.0-sim");
    EXPECT_EQ(status.programs[1].getOesName(), "B股报盘程序");
    const Pbu *a1 = status.pbu("A0000000001");
    ASSERT_NE(a1, nullptr);
    EXPECT_EQ(a1->getOesName(), "A股报盘程序");
    EXPECT_EQ(a1->getOesType(), "ASHR");
    EXPECT_EQ(a1->getCsIP(), "127.0.0.1");
    EXPECT_EQ(a1->getHostExtIP(), "127.0.0.1");
    EXPECT_EQ(a1->getCapability(), "1000");
    EXPECT_GT(std::stol(a1->getPbuBidNumber()), 0);
    EXPECT_EQ(a1->getMaxOrderNumber(), a1->getPbuBidNumber());

    // One operator held stopped through the simulator's control file.
    test::writeFile(dir / "monitor/ASHR_sim.txt", "A0000000002\n");
    ASSERT_TRUE(pollStatus(client, [](const StatusView &s) {
        const Pbu *p = s.pbu("A0000000002");
        return p && p->getPbuStatus() == "1";
    }, status));
    EXPECT_EQ(status.pbu("A0000000002")->getPbuBidNumber(), "");
    EXPECT_EQ(status.pbu("A0000000001")->getPbuStatus(), "3");

    // The B-share program dies: its record turns "停止" and every client hears of it.
    // The agent reports a stop only of a program it has seen running.
    ASSERT_TRUE(test::waitUntil([&] {
        const std::string log = agentLog();
        return log.find("B股报盘程序 running") != std::string::npos ||
               log.find("B股报盘程序 started") != std::string::npos;
    })) << agentLog();
    programB->kill();
    ASSERT_TRUE(pollStatus(client, [](const StatusView &s) {
        return s.programs[1].getOesStatus() == "停止";
    }, status));
    EXPECT_EQ(status.programs[0].getOesStatus(), "运行");
    EXPECT_EQ(status.programs[1].getWarningLevel(), "0");
    bool heardStop = test::waitUntil([&] {
        std::unique_ptr<Message> record = client.receiveType("13", 200ms);
        return record && sysLogOf(*record).find(" B股报盘程序 stopped\x02") != std::string::npos;
    });
    EXPECT_TRUE(heardStop) << agentLog();

    client.send(test::troubleRequest("100", "AgentVersion"));
    std::unique_ptr<Message> version = client.receiveType("20");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->getSequence(), "100");
    EXPECT_EQ(version->getOrientation(), "S");
    EXPECT_EQ(version->getBody()->getResult(), "0228305");

    client.send(test::troubleRequest("101", "CheckCfgFile"));
    std::unique_ptr<Message> files = client.receiveType("20");
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->getSequence(), "101");
    EXPECT_EQ(files->getBody()->getResult(), "OK");

    client.send(test::troubleRequest("102", "CheckCS"));
    std::unique_ptr<Message> gateways = client.receiveType("20", 20s);
    ASSERT_NE(gateways, nullptr);
    EXPECT_EQ(gateways->getSequence(), "102");
    const std::string report = gateways->getBody()->getResult();
    EXPECT_EQ(report.rfind("端口10005\r\nA股报盘程序状态:\r\nHost:127.0.0.1与CS127.0.0.1连接", 0), 0u)
        << gbk::toUtf8(report);
    EXPECT_NE(report.find("B股报盘程序状态:\r\n"), std::string::npos);
}

TEST_F(EndToEnd, ClientOutsideAccessControlIsRefused)
{
    layOut("console=127.0.0.2\r\n");
    startAgent();
    test::Client outsider(port);
    EXPECT_TRUE(outsider.closedByPeer());
    test::Client insider(port, "127.0.0.2");
    ASSERT_TRUE(insider.send(test::troubleRequest("1", "AgentVersion")));
    std::unique_ptr<Message> answer = insider.receiveType("20");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->getBody()->getResult(), "0228305");
    EXPECT_TRUE(test::waitUntil([&] {
        return agentLog().find("refused a connection from 127.0.0.1: not in ACCESS_CONTROL "
                               "(allowed: 127.0.0.2)") != std::string::npos;
    })) << agentLog();
}

TEST_F(EndToEnd, GarbageOversizedAndHalfMessagesLeaveTheAgentServingOthers)
{
    layOut();
    startAgent({"--incomplete-timeout-ms", "200", "--heartbeat-ms", "100"});
    test::Client good(port);
    test::Client garbage(port);
    test::Client oversized(port);
    test::Client half(port);
    garbage.send(std::string(3000, '\x01'));
    oversized.send("00=Tarvo1.20\x01" "01=C\x01" "04=02\x01" "12=1\x01" "15=1000000\x01");
    const std::string request = test::statusRequest("1");
    half.send(request.substr(0, 20));
    EXPECT_TRUE(garbage.closedByPeer());
    EXPECT_TRUE(oversized.closedByPeer());
    EXPECT_TRUE(half.closedByPeer());

    // The good client saw heartbeats meanwhile and is still answered.
    std::unique_ptr<Message> beat = good.receiveType("12");
    ASSERT_NE(beat, nullptr);
    good.send(test::troubleRequest("7", "AgentVersion"));
    std::unique_ptr<Message> answer = good.receiveType("20");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->getSequence(), "7");
}

TEST_F(EndToEnd, ConfigurationThatFailsToLoadIsReportedToClients)
{
    layOut("console=127.0.0.1\r\n", /*withProgramB=*/false);
    startAgent();
    test::Client client(port);
    std::unique_ptr<Message> record = client.receiveType("13");
    ASSERT_NE(record, nullptr);
    const std::string text = sysLogOf(*record);
    EXPECT_EQ(text.rfind("ERROR ", 0), 0u);
    EXPECT_NE(text.find("无法找到B股报盘程序启动文件。"), std::string::npos) << gbk::toUtf8(text);
    // The troubleshooting checks still answer, so the console can find the cause.
    client.send(test::troubleRequest("2", "CheckCfgFile"));
    std::unique_ptr<Message> files = client.receiveType("20");
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->getBody()->getResult(),
              "配置文件不存在:" + (dir / "Tarvo_BSHR.exe") + "\r\n");
}

TEST_F(EndToEnd, CheckConfigReportsTheInstallation)
{
    layOut("console=127.0.0.1\r\n");
    std::string output;
    const std::vector<std::string> args = {"--dir", dir.path(), "--ini",
                                           dir / "TarvoMonitorAgent.ini", "--check-config"};
    EXPECT_EQ(test::runProgram(TARVO_AGENT_EXE, args, dir.path(), output), 0) << output;
    EXPECT_NE(output.find("configuration OK"), std::string::npos) << output;
    EXPECT_NE(output.find("A0000000001"), std::string::npos) << output;

    fs::remove(dir / "Tarvo_BSHR.exe");
    EXPECT_EQ(test::runProgram(TARVO_AGENT_EXE, args, dir.path(), output), 1) << output;
    EXPECT_NE(output.find(gbk::toUtf8("无法找到B股报盘程序启动文件。")), std::string::npos) << output;
    EXPECT_NE(output.find("configuration cannot be used"), std::string::npos) << output;
}

// SIGTERM on Linux, Ctrl+Break on Windows.
TEST_F(EndToEnd, AStopRequestEndsTheAgentCleanlyAndItsLogHasStampedCrLfLines)
{
    if (!test::stopRequestsReachChildren())
        GTEST_SKIP() << "no console to send Ctrl+Break through (the service's stop is tested)";
    layOut();
    startAgent();
    {
        test::Client client(port);
        client.send(test::troubleRequest("1", "AgentVersion"));
        ASSERT_NE(client.receiveType("20"), nullptr);
        EXPECT_EQ(agent->kill(test::ChildProcess::Stop::Terminate), 0);
    }
    const std::string log = agentLog();
    EXPECT_NE(log.find(" INFO stopped\r\n"), std::string::npos) << log;
    // Started with --port 0: the log names the port asked for, then the one listened on.
    EXPECT_NE(log.find(" INFO port 0: from --port\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" INFO listening on 127.0.0.1:" + std::to_string(port) + ", "),
              std::string::npos) << log;
    // "yyyy-mm-dd hh:mm:ss " at the start of the first line.
    ASSERT_GT(log.size(), 20u);
    EXPECT_EQ(log[4], '-');
    EXPECT_EQ(log[13], ':');
    EXPECT_EQ(log[19], ' ');
}

struct RefusingAccessControl
{
    const char *name;
    std::string accessControl; // the [ACCESS_CONTROL] lines
    std::string refusal;       // the log line of a refused client, after "from 127.0.0.1: "
    std::string startLine;     // what the agent logs at start, after the time stamp
    bool startLineNamesIni;    // ... followed by the ini file's path
    std::string listening;     // the end of its "listening on" line
    int checkExit;             // --check-config
    std::vector<std::string> checkLines;
};

class AccessControlThatAdmitsNobody : public EndToEnd,
                                      public ::testing::WithParamInterface<RefusingAccessControl>
{
};

TEST_P(AccessControlThatAdmitsNobody, RefusesEveryClientAndSaysWhyInTheLogAndCheckConfig)
{
    const RefusingAccessControl &c = GetParam();
    layOut(c.accessControl);
    startAgent();
    test::Client client(port);
    EXPECT_TRUE(client.closedByPeer());
    EXPECT_TRUE(test::waitUntil([&] {
        return agentLog().find("refused a connection from 127.0.0.1: " + c.refusal) !=
               std::string::npos;
    })) << agentLog();
    const std::string ini = dir / "TarvoMonitorAgent.ini";
    EXPECT_NE(agentLog().find(c.startLine + (c.startLineNamesIni ? ini : "") + "\r\n"),
              std::string::npos)
        << agentLog();
    EXPECT_TRUE(test::waitUntil([&] {
        return agentLog().find(", ACCESS_CONTROL: " + c.listening + "\r\n") != std::string::npos;
    })) << agentLog();

    std::string output;
    const std::vector<std::string> args = {"--dir", dir.path(), "--ini", ini, "--check-config"};
    EXPECT_EQ(test::runProgram(TARVO_AGENT_EXE, args, dir.path(), output), c.checkExit) << output;
    for (const std::string &line : c.checkLines)
        EXPECT_NE(output.find("\n" + line + "\n"), std::string::npos) << line << "\n" << output;
    EXPECT_EQ(output.find("configuration OK"), std::string::npos) << output;
}

const std::string UNREADABLE = "ACCESS_CONTROL cannot be read: [ACCESS_CONTROL] ip2=abc.1.2.3 "
                               "is not an address ('abc' is not a valid integer value); every "
                               "client is refused";

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, AccessControlThatAdmitsNobody,
    ::testing::Values(
        RefusingAccessControl{
            "Empty", "", "not in ACCESS_CONTROL (allowed: (none))",
            " WARN ACCESS_CONTROL is empty: every client is refused; name the consoles' "
            "addresses in [ACCESS_CONTROL] of ",
            true, "(none)", 0,
            {"configuration usable, but it admits no client: ACCESS_CONTROL names no address, "
             "so every connection is refused"}},
        // One value that is no address fails the whole configuration: the key and value are
        // named, and nobody is let in, whatever the other values allow.
        RefusingAccessControl{
            "Typo", "console=127.0.0.1\r\nip2=abc.1.2.3\r\n",
            "ACCESS_CONTROL of the configuration cannot be read, every client is refused",
            " ERROR " + UNREADABLE, false, "unreadable, every client is refused", 1,
            {"access control unreadable: every client is refused", "problem: " + UNREADABLE,
             "configuration cannot be used"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EndToEnd, CheckConfigCreatesNothingAndNamesAPortThatIsNoNumber)
{
    layOut("console=127.0.0.1\r\n", true, "abc");
    std::string output;
    const std::vector<std::string> args = {"--dir", dir.path(), "--ini",
                                           dir / "TarvoMonitorAgent.ini", "--check-config"};
    EXPECT_EQ(test::runProgram(TARVO_AGENT_EXE, args, dir.path(), output), 0) << output;
    EXPECT_FALSE(fs::exists(dir / "logs"));
    EXPECT_NE(output.find("port 10012 (the default: [PORT] port \"abc\" is not a number)\n"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("problem: [PORT] port \"abc\" is not a number: the default port 10012 "
                          "is used\n"),
              std::string::npos)
        << output;
}

TEST_F(EndToEnd, TheLogSaysWhichPortTheIniGaveAndWhy)
{
    // Port 0 from its leading digits: the system chooses the port.
    layOut("console=127.0.0.1\r\n", true, "0xyz");
    startAgent({}, /*portFromIni=*/true);
    EXPECT_TRUE(test::waitUntil([&] {
        return agentLog().find(" WARN port 0: the leading digits of [PORT] port \"0xyz\"\r\n") !=
               std::string::npos;
    })) << agentLog();
}

// What is in place of the A-share status file: a FIFO nobody writes, or a file too large.
class EndToEndStatusFile : public EndToEnd, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(EndToEndStatusFile, AnUnreadableStatusFileIsReportedAndTheAgentStillAnswersAndStops)
{
    layOut();
    const std::string kind = GetParam();
    const std::string path = dir / "monitor/ASHR_status.txt";
    std::string expected;
    if (kind == "fifo") {
        TARVO_SKIP_WITHOUT_FIFOS();
        ASSERT_TRUE(test::makeFifo(path));
        expected = "is not a regular file (a FIFO)";
    } else {
        const std::string text = "[TIME]\r\nTime=20240315-09:30:05\r\n[OESStatus]\r\nOESVersion=" +
                                 std::string(2u << 20, 'v') + "\r\n";
        test::writeFile(path, text);
        expected = "is larger than 1048576 bytes (" + std::to_string(text.size()) + " bytes)";
    }
    startAgent();
    test::Client client(port);
    for (int i = 1; i <= 2; ++i) {
        ASSERT_TRUE(client.send(test::statusRequest(std::to_string(i))));
        std::unique_ptr<Message> answer = client.receiveType("03");
        ASSERT_NE(answer, nullptr) << agentLog();
        EXPECT_EQ(answer->getSequence(), std::to_string(i));
    }
    const std::string log = agentLog();
    const std::string line = " WARN status file " + path + " " + expected +
                             ": not read, the program's record keeps its last values\r\n";
    ASSERT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.find(line), log.rfind(line)) << "said once: " << log;
    stopAgentCleanly();
}

INSTANTIATE_TEST_SUITE_P(Kinds, EndToEndStatusFile, ::testing::Values("fifo", "too large"));

TEST(EndToEndPrograms, HelpAndVersionAndSimulatorProcessName)
{
    std::string output;
    EXPECT_EQ(test::runProgram(TARVO_AGENT_EXE, {"--help"}, {}, output), 0);
    EXPECT_NE(output.find("--check-config"), std::string::npos);
    EXPECT_EQ(test::runProgram(TARVO_AGENT_EXE, {"--version"}, {}, output), 0);
    EXPECT_NE(output.find("0228305"), std::string::npos);
    EXPECT_EQ(test::runProgram(TARVO_AGENT_EXE, {"--bogus"}, {}, output), 2);
    EXPECT_EQ(test::runProgram(TARVO_OES_SIM_EXE, {"--help"}, {}, output), 0);
    EXPECT_NE(output.find("--interval-ms"), std::string::npos);

    test::TempDir dir;
    fs::copy_file(TARVO_OES_SIM_EXE, dir / "Tarvo_ASHR.exe");
    test::ChildProcess program(dir / "Tarvo_ASHR.exe", {"--interval-ms", "50"}, dir.path(),
                               dir / "out");
    // The system's own process list names it as the agent looks for it.
    EXPECT_TRUE(test::waitUntil([&] {
        for (const ProcessInfo &process : SystemProcessList().snapshot())
            if (process.pid == program.pid())
                return runsExecutable(process, "Tarvo_ASHR.exe");
        return false;
    }));
    EXPECT_TRUE(test::waitUntil([&] { return fs::exists(dir / "monitor/ASHR_status.txt"); }));
    // --once writes one file and ends.
    EXPECT_EQ(test::runProgram(dir / "Tarvo_ASHR.exe", {"--once", "--program", "B"}, dir.path(),
                               output),
              0)
        << output;
    EXPECT_TRUE(fs::exists(dir / "monitor/BSHR_status.txt"));
}

} // namespace
} // namespace tarvo
