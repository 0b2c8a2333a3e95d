// The agent as Windows runs it: a service of the service control manager (installed, started,
// stopped as the system stops services, removed), in an installation whose path is Chinese,
// and tarvo-wire's protocol bytes through stdin and stdout untouched by text mode.
#include "EndToEndFixture.h"

#include "platform/WinText.h"

#include <windows.h>

namespace tarvo {
namespace {

// Runs the agent with the service options; its exit code, the output in `output`.
int agentCommand(const std::vector<std::string> &args, std::string &output)
{
    return test::runProgram(TARVO_AGENT_EXE, args, {}, output);
}

class AgentService : public EndToEnd
{
protected:
    void SetUp() override
    {
        // A registration left by an earlier run that was killed.
        std::string output;
        agentCommand({"--remove-service"}, output);
    }
    void TearDown() override
    {
        std::string output;
        agentCommand({"--remove-service"}, output);
    }
};

TEST_F(AgentService, IsInstalledStartedServesStopsCleanlyAndIsRemoved)
{
    layOut();
    startSimulator("Tarvo_ASHR.exe", programA);
    std::string output;
    ASSERT_EQ(agentCommand({"--install-service", "--dir", dir.path(), "--ini",
                            dir / "TarvoMonitorAgent.ini", "--bind", "127.0.0.1", "--port", "0"},
                           output),
              0)
        << output;
    EXPECT_NE(output.find("service TarvoMonitorAgent installed"), std::string::npos) << output;
    // A second registration under the same name is refused, in the system's words.
    EXPECT_EQ(agentCommand({"--install-service", "--dir", dir.path()}, output), 1);
    EXPECT_FALSE(output.empty());

    ASSERT_EQ(agentCommand({"--start-service"}, output), 0) << output << agentLog();
    EXPECT_EQ(output, "service TarvoMonitorAgent running\n");
    port = test::waitForLoggedPort(dir / "logs/TarvoMonitorAgent.log", "127.0.0.1");
    test::Client client(port);
    ASSERT_TRUE(client.connected()) << agentLog();
    StatusView status;
    EXPECT_TRUE(pollStatus(client, [](const StatusView &s) {
        return s.programs.size() == 2 && s.programs[0].getOesStatus() == "运行";
    }, status)) << agentLog();

    ASSERT_EQ(agentCommand({"--stop-service"}, output), 0) << output;
    EXPECT_TRUE(client.closedByPeer());
    const std::string log = agentLog();
    EXPECT_NE(log.find(" INFO stopping\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" INFO stopped\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" starting in " + dir.path() + " with "), std::string::npos) << log;

    ASSERT_EQ(agentCommand({"--remove-service"}, output), 0) << output;
    EXPECT_EQ(agentCommand({"--start-service"}, output), 1);
}

TEST_F(AgentService, AnAgentThatCannotListenIsReportedAsStoppedWithItsExitCode)
{
    layOut();
    Listening taken = listenTcp("127.0.0.1", 0, 1);
    ASSERT_EQ(taken.error, "");
    std::string output;
    ASSERT_EQ(agentCommand({"--install-service", "--dir", dir.path(), "--ini",
                            dir / "TarvoMonitorAgent.ini", "--bind", "127.0.0.1", "--port",
                            std::to_string(taken.port)},
                           output),
              0)
        << output;
    EXPECT_EQ(agentCommand({"--start-service"}, output), 1);
    EXPECT_NE(output.find("stopped again at once (exit code 1)"), std::string::npos) << output;
    EXPECT_NE(agentLog().find("cannot listen on 127.0.0.1:" + std::to_string(taken.port)),
              std::string::npos)
        << agentLog();
}

TEST(AgentOfWindows, TheServiceCommandLineIsOnlyForTheServiceManager)
{
    std::string output;
    EXPECT_EQ(agentCommand({"--service"}, output), 2);
    EXPECT_NE(output.find("not started by the service control manager"), std::string::npos)
        << output;
    EXPECT_EQ(agentCommand({"--help"}, output), 0);
    EXPECT_NE(output.find("--install-service"), std::string::npos);
}

// Creates `path` (GBK) with `bytes` through the wide calls.
void writeGbkFile(const std::string &path, const std::string &bytes)
{
    createDirectories(parentDirectory(path));
    std::ofstream(fs::path(win::widen(path)), std::ios::binary) << bytes;
}

TEST_F(EndToEnd, AnInstallationUnderAChineseFolderIsServed)
{
    // "报盘机\A股" in GBK: the agent's paths hold these bytes, the system sees the characters.
    const std::string home = dir / "报盘机/A股";
    writeGbkFile(home + "\\TarvoMonitorAgent.ini",
                 "[Tarvo]\r\nA股报盘程序=N\r\nB股报盘程序=N\r\n[ACCESS_CONTROL]\r\nc=127.0.0.1\r\n");
    agent = std::make_unique<test::ChildProcess>(
        TARVO_AGENT_EXE,
        std::vector<std::string>{"--dir", home, "--ini", home + "\\TarvoMonitorAgent.ini", "--bind",
                                 "127.0.0.1", "--port", "0"},
        dir.path(), dir / "agent.out");
    // The log under the Chinese folder, read by its wide name.
    const fs::path log(win::widen(home + "\\logs\\TarvoMonitorAgent.log"));
    ASSERT_TRUE(test::waitUntil([&] {
        std::ifstream in(log, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return (port = test::loggedPort(text.str(), "127.0.0.1")) != 0;
    }, 10s)) << test::readFile(dir / "agent.out");
    ASSERT_TRUE(test::waitUntil([&] { return test::Client(port).connected(); }))
        << test::readFile(dir / "agent.out");
    test::Client client(port);
    ASSERT_TRUE(client.send(test::troubleRequest("1", "CheckCfgFile")));
    std::unique_ptr<Message> answer = client.receiveType("20");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->getBody()->getResult(),
              "配置文件不存在:" + home + "\\cfgA\\SystemConfiguration.ini\r\n" + home +
                  "\\cfgB\\SystemConfiguration.ini\r\n" + home + "\\Tarvo_ASHR.exe\r\n" + home +
                  "\\Tarvo_BSHR.exe\r\n")
        << gbk::toUtf8(answer->getBody()->getResult());
    // The log directory was made inside the Chinese folder, under its Chinese name.
    EXPECT_TRUE(fs::is_regular_file(fs::path(win::widen(home + "\\logs\\TarvoMonitorAgent.log"))));
}

TEST(WireOfWindows, ProtocolBytesPassStdinAndStdoutUnchanged)
{
    test::TempDir dir;
    // A log text with a line feed and a byte 0x1A: text mode would write CR LF for the first
    // and read the second as the end of the input.
    test::writeFile(dir / "in.jsonl", "{\"version\":\"Tarvo1.20\",\"orientation\":\"S\","
                                      "\"messageType\":\"13\",\"sequence\":\"0\",\"fields\":"
                                      "{\"sysLog\":\"one\\nend\\u001aafter\\u0002\"}}\n");
    test::ChildProcess encode(TARVO_WIRE_EXE, {"encode"}, dir.path(), dir / "wire.bin",
                              dir / "in.jsonl");
    ASSERT_EQ(encode.wait(), 0);
    const std::string bytes = test::readFile(dir / "wire.bin");
    EXPECT_NE(bytes.find("one\nend\x1a" "after\x02"), std::string::npos);
    EXPECT_EQ(bytes.find('\r'), std::string::npos);

    std::string output;
    ASSERT_EQ(test::runProgram(TARVO_WIRE_EXE, {"decode"}, dir.path(), output, dir / "wire.bin"), 0)
        << output;
    EXPECT_NE(output.find("\"sysLog\":\"one\\nend\\u001aafter\\u0002\""), std::string::npos)
        << output;
}

} // namespace
} // namespace tarvo
