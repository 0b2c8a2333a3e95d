// The agent's network service in this process, with fake request executors: answers,
// heartbeats, ACCESS_CONTROL, bad clients, slow requests and log records.
#include "AgentServerFixture.h"

#include <atomic>

namespace tarvo {
namespace {

using namespace std::chrono_literals;
using test::AgentServerTest;

TEST_F(AgentServerTest, AnswersEachRequestWithItsSequenceOrientationSAndOurVersion)
{
    startServer();
    test::Client client(server->port());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send(test::statusRequest("41") + test::troubleRequest("42", "CheckCfgFile")));

    std::unique_ptr<Message> status = client.receive();
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->getMessageType(), "03");
    EXPECT_EQ(status->getSequence(), "41");
    EXPECT_EQ(status->getOrientation(), "S");
    EXPECT_EQ(status->getVersion(), PROTOCOL_VERSION);
    auto *body = dynamic_cast<StatusResponseMessageBody *>(status->getBody());
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->getHostStatus(), "正常运行");

    std::unique_ptr<Message> trouble = client.receive();
    ASSERT_NE(trouble, nullptr);
    EXPECT_EQ(trouble->getMessageType(), "20");
    EXPECT_EQ(trouble->getSequence(), "42");
    EXPECT_EQ(trouble->getBody()->getResult(), "result of CheckCfgFile");
}

TEST_F(AgentServerTest, QuietConnectionGetsHeartbeatsAndClientHeartbeatsAreNotAnswered)
{
    settings.timings.heartbeat = 50ms;
    startServer();
    test::Client client(server->port());
    Message beat(PROTOCOL_VERSION, "C", "-1", std::make_unique<BeatMessageBody>());
    ASSERT_TRUE(client.send(beat.encode()));
    for (int i = 0; i < 2; ++i) {
        std::unique_ptr<Message> heartbeat = client.receive(2s);
        ASSERT_NE(heartbeat, nullptr);
        EXPECT_EQ(heartbeat->getMessageType(), "12");
        EXPECT_EQ(heartbeat->getSequence(), "-1");
        EXPECT_EQ(heartbeat->getOrientation(), "S");
        EXPECT_EQ(heartbeat->getBodyLength(), "0");
    }
}

TEST_F(AgentServerTest, SlowRequestStopsNeitherHeartbeatsNorReadsNorOtherClients)
{
    settings.timings.heartbeat = 50ms;
    startServer();
    test::Client slow(server->port());
    test::Client other(server->port());
    ASSERT_TRUE(slow.send(test::troubleRequest("1", "Slow")));
    {
        std::unique_lock lock(gateMutex);
        ASSERT_TRUE(gateChanged.wait_for(lock, 5s, [this] { return slowStarted; }));
    }
    // While "Slow" executes, both connections keep their heartbeats.
    std::unique_ptr<Message> beatSlow = slow.receive(2s);
    std::unique_ptr<Message> beatOther = other.receive(2s);
    ASSERT_NE(beatSlow, nullptr);
    ASSERT_NE(beatOther, nullptr);
    EXPECT_EQ(beatSlow->getMessageType(), "12");
    EXPECT_EQ(beatOther->getMessageType(), "12");
    // Requests are read meanwhile but execute one at a time: this one waits its turn.
    ASSERT_TRUE(other.send(test::troubleRequest("2", "AgentVersion")));
    EXPECT_EQ(other.receiveType("20", 200ms), nullptr);

    openGate();
    std::unique_ptr<Message> slowAnswer = slow.receiveType("20");
    std::unique_ptr<Message> otherAnswer = other.receiveType("20");
    ASSERT_NE(slowAnswer, nullptr);
    ASSERT_NE(otherAnswer, nullptr);
    EXPECT_EQ(slowAnswer->getSequence(), "1");
    EXPECT_EQ(otherAnswer->getSequence(), "2");
}

struct BadClient
{
    const char *name;
    std::string bytes;
    const char *logPart;
};

class AgentServerBadInput : public AgentServerTest, public ::testing::WithParamInterface<BadClient>
{
};

TEST_P(AgentServerBadInput, ClosesThatConnectionWithALogLineAndServesOthers)
{
    startServer();
    test::Client good(server->port());
    test::Client bad(server->port());
    ASSERT_TRUE(bad.send(GetParam().bytes));
    EXPECT_TRUE(bad.closedByPeer());
    expectServed(good, "9");
    EXPECT_TRUE(test::waitUntil([&] { return logText().find(GetParam().logPart) != std::string::npos; }))
        << logText();
}

std::string badChecksum()
{
    std::string bytes = test::statusRequest("5");
    bytes[bytes.size() - 2] = bytes[bytes.size() - 2] == '9' ? '8' : '9';
    return bytes;
}

std::string olderConsole()
{
    std::string bytes = test::statusRequest("5");
    bytes.replace(bytes.find("Tarvo1.20"), 9, "Tarvo1.10");
    bytes.replace(bytes.size() - 4, 3, Message::checkSumOf(bytes.substr(0, bytes.size() - 7)));
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Input, AgentServerBadInput,
    ::testing::Values(
        BadClient{"Garbage", std::string(5000, 'x'), "not a message header"},
        BadClient{"Oversized",
                  "00=Tarvo1.20\x01" "01=C\x01" "04=19\x01" "12=1\x01" "15=99999\x01" "36=Trou",
                  "message too long"},
        BadClient{"ChecksumError", badChecksum(), "Check sum error"},
        BadClient{"OlderConsole", olderConsole(), "protocol version mismatch"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(AgentServerTest, HalfMessageThenSilenceIsClosedButAnIdleClientIsNot)
{
    settings.timings.incompleteTimeout = 100ms;
    startServer();
    test::Client idle(server->port());
    test::Client half(server->port());
    const std::string request = test::statusRequest("3");
    ASSERT_TRUE(half.send(request.substr(0, request.size() / 2)));
    EXPECT_TRUE(half.closedByPeer(3s));
    EXPECT_TRUE(test::waitUntil([&] {
        return logText().find("an incomplete message not completed within 100 ms of its first "
                              "byte") != std::string::npos;
    }));
    expectServed(idle, "4");
}

TEST_F(AgentServerTest, ClientOutsideAccessControlIsRefusedAndLogged)
{
    settings.accessControl = {"127.0.0.2"};
    startServer();
    test::Client outsider(server->port());
    EXPECT_TRUE(outsider.closedByPeer());
    EXPECT_TRUE(test::waitUntil([&] {
        return logText().find("refused a connection from 127.0.0.1: not in ACCESS_CONTROL "
                              "(allowed: 127.0.0.2)") != std::string::npos;
    })) << logText();
    test::Client insider(server->port(), "127.0.0.2");
    ASSERT_TRUE(insider.connected());
    expectServed(insider, "5");
}

TEST_F(AgentServerTest, UnreadableAccessControlRefusesEveryone)
{
    settings.accessControlValid = false;
    startServer();
    test::Client client(server->port());
    EXPECT_TRUE(client.closedByPeer());
}

TEST_F(AgentServerTest, FailedOrUnansweredRequestsLeaveTheConnectionServing)
{
    startServer();
    test::Client client(server->port());
    ASSERT_TRUE(client.send(test::troubleRequest("1", "Throw") + test::troubleRequest("2", "Unknown")));
    std::unique_ptr<Message> record = client.receiveType("13");
    ASSERT_NE(record, nullptr);
    auto *body = dynamic_cast<LogMessageBody *>(record->getBody());
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->getSysLog().substr(0, 6), "ERROR ");
    EXPECT_NE(body->getSysLog().find("failed: boom\x02"), std::string::npos) << body->getSysLog();
    expectServed(client, "3");
}

TEST_F(AgentServerTest, WatchEventsAndStandingProblemsReachClientsAsLogRecords)
{
    startServer();
    server->setStandingProblem("configuration cannot be loaded: 无法找到A股报盘程序启动文件。");
    test::Client client(server->port());
    std::unique_ptr<Message> first = client.receiveType("13");
    ASSERT_NE(first, nullptr);
    const std::string problem = dynamic_cast<LogMessageBody &>(*first->getBody()).getSysLog();
    EXPECT_EQ(problem.substr(0, 6), "ERROR ");
    EXPECT_NE(problem.find(" configuration cannot be loaded: 无法找到A股报盘程序启动文件。\x02"),
              std::string::npos);

    server->broadcast({AgentLog::Level::Warning, "A股报盘程序 stopped"});
    std::unique_ptr<Message> second = client.receiveType("13");
    ASSERT_NE(second, nullptr);
    const std::string stopped = dynamic_cast<LogMessageBody &>(*second->getBody()).getSysLog();
    EXPECT_EQ(stopped.substr(0, 5), "WARN ");
    EXPECT_EQ(stopped.substr(stopped.size() - 21), " A股报盘程序 stopped\x02");
}

TEST(AgentServerWatch, WatchRunsPeriodicallyAndItsEventsAreBroadcast)
{
    test::TempDir dir;
    ServiceLog log;
    ServiceSettings settings;
    settings.bindAddress = "127.0.0.1";
    settings.accessControl = {"127.0.0.1"};
    settings.port = 0;
    settings.timings.watch = 10ms;
    AgentServer server(settings, log);
    std::atomic<int> calls = 0;
    server.setWatch([&]() -> std::vector<LogEvent> {
        if (++calls == 20)
            return {{AgentLog::Level::Info, "A股报盘程序 started"}};
        return {};
    });
    ASSERT_EQ(server.start(), "");
    test::Client client(server.port());
    ASSERT_TRUE(test::waitUntil([&] { return server.clientCount() == 1; }));
    calls = 0;
    std::unique_ptr<Message> record = client.receiveType("13");
    ASSERT_NE(record, nullptr);
    const std::string text = dynamic_cast<LogMessageBody &>(*record->getBody()).getSysLog();
    EXPECT_EQ(text.substr(0, 5), "INFO ");
    EXPECT_NE(text.find(" A股报盘程序 started\x02"), std::string::npos);
    server.stop();
}

} // namespace
} // namespace tarvo
