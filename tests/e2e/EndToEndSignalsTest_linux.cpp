// Whole-program tests of what only Linux has: SIGHUP reopens the agent's log (logrotate).
#include "EndToEndFixture.h"

#include <signal.h>

namespace tarvo {
namespace {

TEST_F(EndToEnd, SighupReopensTheLogFileAndTheAgentGoesOn)
{
    layOut();
    startAgent();
    test::Client client(port);
    client.send(test::troubleRequest("1", "AgentVersion"));
    ASSERT_NE(client.receiveType("20"), nullptr);
    // What logrotate does: move the file away, then HUP.
    fs::rename(dir / "logs/TarvoMonitorAgent.log", dir / "logs/TarvoMonitorAgent.log.1");
    ASSERT_EQ(::kill(agent->pid(), SIGHUP), 0);
    EXPECT_TRUE(test::waitUntil([&] {
        return agentLog().find(" INFO log file reopened (SIGHUP)\r\n") != std::string::npos;
    })) << agentLog();
    client.send(test::troubleRequest("2", "AgentVersion"));
    std::unique_ptr<Message> answer = client.receiveType("20");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->getSequence(), "2");
    EXPECT_NE(test::readFile(dir / "logs/TarvoMonitorAgent.log.1").find(" INFO listening on "),
              std::string::npos);
    EXPECT_EQ(agent->kill(test::ChildProcess::Stop::Terminate), 0);
    EXPECT_NE(agentLog().find(" INFO stopped\r\n"), std::string::npos) << agentLog();
}

} // namespace
} // namespace tarvo
