// The agent connection over a real QTcpSocket against a fake agent on loopback: refused
// connections, connecting, reading, the agent closing, and silence with a short time-out.
#include "ConnectionOwnerDouble.h"
#include "ProcessUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <algorithm>

namespace tarvo {
namespace {

using test::processUntil;

class LoopbackConnection : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        port = std::to_string(server.serverPort());
    }

    std::unique_ptr<TMMSocketProcessor> open(const std::string &portText, int timeoutMs = 40000)
    {
        ConnectionSettings settings;
        settings.timeoutMs = timeoutMs;
        return std::make_unique<TMMSocketProcessor>("127.0.0.1", owner, portText, settings);
    }

    QTcpSocket *accept()
    {
        processUntil([this] { return server.hasPendingConnections(); });
        return server.nextPendingConnection();
    }

    QTcpServer server;
    std::string port;
    test::RecordingOwner owner;
};

TEST_F(LoopbackConnection, RefusedConnectionReportsErrno111AndStaysClosed)
{
    const std::string closedPort = port;
    server.close();
    auto c = open(closedPort);
    ASSERT_TRUE(processUntil([&] { return !owner.errorList.empty(); }));
    EXPECT_EQ(owner.errorList, std::vector<std::string>{"网络错误,错误号:111"});
    EXPECT_FALSE(c->isOpen());
    EXPECT_TRUE(owner.events.empty());
}

TEST_F(LoopbackConnection, ConnectsReadsWritesAndHearsTheAgentClose)
{
    owner.frame = [](const std::string &, std::string_view text) {
        return int(text.rfind(';') + 1);  // ';' ends a message here
    };
    auto c = open(port);
    QTcpSocket *agent = accept();
    ASSERT_NE(agent, nullptr);
    ASSERT_TRUE(processUntil([&] { return !owner.events.empty(); }));
    EXPECT_EQ(owner.events, std::vector<std::string>{"connected 127.0.0.1"});

    ASSERT_TRUE(c->send("request;"));
    ASSERT_TRUE(processUntil([&] { return agent->bytesAvailable() >= 8; }));
    EXPECT_EQ(agent->readAll().toStdString(), "request;");

    agent->write("one;tw");
    agent->flush();
    ASSERT_TRUE(processUntil([&] { return c->getPending() == "tw"; }));
    agent->write("o;");
    agent->flush();
    ASSERT_TRUE(processUntil([&] { return owner.received.size() >= 2; }));
    EXPECT_EQ(owner.received.back(), "two;");

    agent->disconnectFromHost();
    ASSERT_TRUE(processUntil([&] { return owner.events.size() == 2; }));
    EXPECT_EQ(owner.events.back(), "disconnected 127.0.0.1 Disconnected");
    EXPECT_FALSE(c->isOpen());
    EXPECT_TRUE(owner.errorList.empty());  // a peer's orderly close is no network error
}

TEST_F(LoopbackConnection, SilentAgentIsDisconnectedAfterTheTimeout)
{
    auto c = open(port, 150);
    QTcpSocket *agent = accept();
    ASSERT_NE(agent, nullptr);
    ASSERT_TRUE(processUntil([&] { return c->isOpen(); }));
    ASSERT_TRUE(processUntil([&] { return !c->isOpen(); }));
    EXPECT_EQ(owner.log, std::vector<std::string>{"Exception:Agent连接超时"});
    EXPECT_EQ(owner.events.back(), "disconnected 127.0.0.1 Disconnected");
}

TEST_F(LoopbackConnection, AgentThatStopsInsideAMessageIsDisconnectedAfterTheTimeout)
{
    owner.frame = [](const std::string &, std::string_view) { return 0; };  // never complete
    auto c = open(port, 400);
    QTcpSocket *agent = accept();
    ASSERT_NE(agent, nullptr);
    ASSERT_TRUE(processUntil([&] { return c->isOpen(); }));
    // A header announcing a body that never comes, then a byte now and then: each read
    // restarts the count, the silence after the last one ends the connection.
    const std::string header = "00=Tarvo1.20\x01" "01=S\x01" "04=03\x01" "12=0\x01" "15=900\x01";
    agent->write(header.data(), qint64(header.size()));
    agent->flush();
    ASSERT_TRUE(processUntil([&] { return c->getPending() == header; }));
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer wait;
        wait.start();
        processUntil([&] { return wait.elapsed() >= 50; });
        agent->write("x", 1);
        agent->flush();
        ASSERT_TRUE(processUntil([&] { return c->getPending().size() == header.size() + 1 + i; }));
        ASSERT_TRUE(c->isOpen()) << i;
    }
    ASSERT_TRUE(processUntil([&] { return !c->isOpen(); }));
    EXPECT_EQ(owner.log, std::vector<std::string>{"Exception:Agent连接超时"});
    EXPECT_EQ(c->getPending(), "");
    EXPECT_EQ(owner.events.back(), "disconnected 127.0.0.1 Disconnected");
}

TEST_F(LoopbackConnection, TwoHundredConnectsAndDropsLeaveTheConnectionReusable)
{
    owner.frame = [](const std::string &, std::string_view) { return 0; };
    double now = 1'000'000;
    ConnectionSettings settings;
    settings.nowMs = [&now] { return now; };
    TMMSocketProcessor c("127.0.0.1", owner, port, settings);
    for (int round = 0; round < 200; ++round) {
        QTcpSocket *agent = accept();
        ASSERT_NE(agent, nullptr) << round;
        ASSERT_TRUE(processUntil([&] { return c.isOpen(); })) << round;
        agent->write("half", 4);  // a message the drop cuts
        agent->flush();
        ASSERT_TRUE(processUntil([&] { return c.getPending() == "half"; })) << round;
        if (round % 2)
            agent->abort();  // a reset
        else
            agent->disconnectFromHost();
        ASSERT_TRUE(processUntil([&] { return !c.isOpen(); })) << round;
        delete agent;
        EXPECT_EQ(c.getPending(), "") << round;
        now += TMMSocketProcessor::kReconnectGuardMs;
        c.reconnect(port);
    }
    EXPECT_EQ(std::count(owner.events.begin(), owner.events.end(), "connected 127.0.0.1"), 200);
    EXPECT_EQ(std::count(owner.events.begin(), owner.events.end(),
                         "disconnected 127.0.0.1 Disconnected"),
              200);
    EXPECT_FALSE(c.isFailed());
    // And the 201st connection works as the first did.
    QTcpSocket *agent = accept();
    ASSERT_NE(agent, nullptr);
    ASSERT_TRUE(processUntil([&] { return c.isOpen(); }));
    ASSERT_TRUE(c.send("request;"));
    ASSERT_TRUE(processUntil([&] { return agent->bytesAvailable() >= 8; }));
}

TEST_F(LoopbackConnection, OwnDisconnectReportsBeforeItReturns)
{
    auto c = open(port);
    ASSERT_NE(accept(), nullptr);
    ASSERT_TRUE(processUntil([&] { return c->isOpen(); }));
    c->disconnect();
    EXPECT_EQ(owner.events.back(), "disconnected 127.0.0.1 Disconnected");
    EXPECT_FALSE(c->send("late"));
}

} // namespace
} // namespace tarvo
