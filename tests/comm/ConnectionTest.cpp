// The agent connection over a scripted socket with an injected clock: opening, sending and
// counting, the kept tail of reads, the reconnect guard, the silence time-out and errors.
#include "ConnectionOwnerDouble.h"

#include "doubles/ScriptedAgentSocket.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

namespace tarvo {
namespace {

using Script = ScriptedAgentSocket::Script;

class ConnectionTest : public ::testing::Test
{
protected:
    std::unique_ptr<TMMSocketProcessor> open(const std::string &port = "10012")
    {
        ConnectionSettings settings;
        settings.makeSocket = [this] { return std::make_unique<ScriptedAgentSocket>(script); };
        settings.nowMs = [this] { return now; };
        return std::make_unique<TMMSocketProcessor>("127.0.0.9", owner, port, settings);
    }

    // A framing rule: every complete "<n>:" chunk of n bytes is consumed.
    static int lengthPrefixed(std::string_view text)
    {
        size_t used = 0;
        for (;;) {
            const size_t colon = text.find(':', used);
            if (colon == std::string_view::npos)
                return int(used);
            const size_t n = std::stoul(std::string(text.substr(used, colon - used)));
            if (colon + 1 + n > text.size())
                return int(used);
            used = colon + 1 + n;
        }
    }

    // The owner takes one "m;" at a time and asks for the rest later when another whole one
    // follows, as the console does beyond a pass's worth of messages.
    void handOneAtATime(TMMSocketProcessor &connection)
    {
        owner.frame = [&connection](const std::string &, std::string_view text) {
            if (text.size() >= 4)
                connection.handOverAgain();
            return text.size() >= 2 ? 2 : 0;
        };
    }

    std::shared_ptr<Script> script = std::make_shared<Script>();
    test::RecordingOwner owner;
    double now = 1'000'000;
};

TEST_F(ConnectionTest, OpensAtOnceAndReportsTheConnectionWithTheTimerRunning)
{
    auto c = open();
    EXPECT_EQ(script->opens, std::vector<std::string>{"127.0.0.9:10012"});
    EXPECT_TRUE(c->isConnectRequested());
    EXPECT_FALSE(c->isOpen());
    EXPECT_EQ(c->getLastConnectAttempt(), now);
    EXPECT_TRUE(owner.events.empty());

    ScriptedAgentSocket::connect(*script);
    EXPECT_TRUE(c->isOpen());
    EXPECT_EQ(owner.events, std::vector<std::string>{"connected 127.0.0.9"});
    EXPECT_TRUE(c->isTimeoutRunning());
}

TEST_F(ConnectionTest, PortThatIsNoNumberEndsInFailWithoutThrowingOrOpening)
{
    auto c = open("abc");
    EXPECT_TRUE(script->opens.empty());
    EXPECT_EQ(owner.log, std::vector<std::string>{"Exception:'abc' is not a valid integer value"});
    EXPECT_FALSE(c->isFailed());  // the next connect tries again on this connection
    now += 3000;
    c->reconnect("xyz");
    EXPECT_TRUE(c->isFailed());   // ... and a failing reconnect marks it for replacement
    EXPECT_EQ(owner.log.back(), "Exception:'xyz' is not a valid integer value");
}

TEST_F(ConnectionTest, SendCountsSuccessesOnlyAndLogsTextsWhenDebugging)
{
    auto c = open();
    owner.debug = true;
    EXPECT_FALSE(c->send("early"));  // not connected yet
    EXPECT_EQ(c->getSentCount(), 0);
    EXPECT_EQ(owner.log, (std::vector<std::string>{
                             "[To: 127.0.0.9]sending:early",
                             "[To: 127.0.0.9]send message failed.Socket is not connected"}));

    ScriptedAgentSocket::connect(*script);
    now += 250.5;
    EXPECT_TRUE(c->send("one"));
    EXPECT_EQ(c->getSentCount(), 1);
    EXPECT_EQ(c->getLastSendTime(), now);
    script->writeFailure = "Broken pipe";
    EXPECT_FALSE(c->send("two"));
    EXPECT_EQ(c->getSentCount(), 1);  // the next request reuses the sequence
    EXPECT_EQ(owner.log.back(), "[To: 127.0.0.9]send message failed.Broken pipe");
    EXPECT_EQ(script->written, "one");
}

TEST_F(ConnectionTest, SplitAndMergedMessagesAreFramedAcrossReads)
{
    auto c = open();
    owner.frame = [](const std::string &, std::string_view text) { return lengthPrefixed(text); };
    ScriptedAgentSocket::connect(*script);

    ScriptedAgentSocket::receive(*script, "5:ab");
    EXPECT_EQ(c->getPending(), "5:ab");
    ScriptedAgentSocket::receive(*script, "cde3:xyz4:pq");
    // The kept part came first, and the third message waits for its end.
    EXPECT_EQ(owner.received.back(), "5:abcde3:xyz4:pq");
    EXPECT_EQ(c->getPending(), "4:pq");
    ScriptedAgentSocket::receive(*script, "rs");
    EXPECT_EQ(owner.received.back(), "4:pqrs");
    EXPECT_EQ(c->getPending(), "");
}

TEST_F(ConnectionTest, TheTailIsKeptHoweverMuchWasConsumedUnlessAllIsDiscarded)
{
    auto c = open();
    ScriptedAgentSocket::connect(*script);
    owner.frame = [](const std::string &, std::string_view) { return 30000; };
    ScriptedAgentSocket::receive(*script, std::string(30010, 'x'));
    EXPECT_EQ(c->getPending().size(), 10u);  // the start of the next message
    owner.frame = [](const std::string &, std::string_view) {
        return AgentConnectionOwner::kDiscardAll;
    };
    ScriptedAgentSocket::receive(*script, "y");
    EXPECT_EQ(c->getPending(), "");
}

TEST_F(ConnectionTest, WhatTheOwnerLeftForLaterIsHandedOverAtTheNextPass)
{
    auto c = open();
    ScriptedAgentSocket::connect(*script);
    handOneAtATime(*c);
    ScriptedAgentSocket::receive(*script, "m;m;m;m");
    EXPECT_EQ(c->getPending(), "m;m;m");
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(owner.received, (std::vector<std::string>{"m;m;m;m", "m;m;m", "m;m"}));
    EXPECT_EQ(c->getPending(), "m");  // an incomplete rest waits for the socket
    QCoreApplication::processEvents();
    EXPECT_EQ(owner.received.size(), 3u);
}

TEST_F(ConnectionTest, WholeMessagesLeftForLaterAreHandledWhenTheAgentCloses)
{
    auto c = open();
    ScriptedAgentSocket::connect(*script);
    handOneAtATime(*c);
    ScriptedAgentSocket::receive(*script, "m;m;m;m");
    ScriptedAgentSocket::peerClose(*script);  // before the next pass of the loop
    EXPECT_EQ(owner.received, (std::vector<std::string>{"m;m;m;m", "m;m;m", "m;m"}));
    EXPECT_EQ(owner.events.back(), "disconnected 127.0.0.9 Disconnected");
    EXPECT_EQ(c->getPending(), "");
    QCoreApplication::processEvents();
    EXPECT_EQ(owner.received.size(), 3u);
}

TEST_F(ConnectionTest, ReadWhileNotConnectedDoesNotEvenRead)
{
    auto c = open();
    script->incoming = "waiting";
    c->onRead();
    EXPECT_TRUE(owner.received.empty());
    EXPECT_EQ(script->incoming, "waiting");
}

TEST_F(ConnectionTest, BytesOfAConnectionClosedWhileTheyAreHandledAreDropped)
{
    auto c = open();
    ScriptedAgentSocket::connect(*script);
    TMMSocketProcessor *self = c.get();
    owner.frame = [self](const std::string &, std::string_view) {
        self->disconnect();
        return 0;
    };
    ScriptedAgentSocket::receive(*script, "bad bytes");
    EXPECT_EQ(c->getPending(), "");
    EXPECT_FALSE(c->isTimeoutRunning());
    EXPECT_EQ(owner.events.back(), "disconnected 127.0.0.9 Disconnected");
}

TEST_F(ConnectionTest, AnErrorEscapingTheHandlerFailsAndClosesTheConnection)
{
    auto c = open();
    ScriptedAgentSocket::connect(*script);
    owner.frame = [](const std::string &, std::string_view) -> int {
        throw std::runtime_error("boom");
    };
    ScriptedAgentSocket::receive(*script, "x");
    EXPECT_TRUE(c->isFailed());
    EXPECT_FALSE(c->isOpen());
    EXPECT_EQ(owner.log.back(), "Exception:boom");
    EXPECT_EQ(owner.events.back(), "disconnected 127.0.0.9 Disconnected");
}

TEST_F(ConnectionTest, SilentAgentIsClosedByTheTimeout)
{
    auto c = open();
    ScriptedAgentSocket::connect(*script);
    now += 39'999;
    c->onTimeout();  // early: the count goes on
    EXPECT_TRUE(c->isOpen());
    EXPECT_TRUE(c->isTimeoutRunning());
    now += 1;
    c->onTimeout();
    EXPECT_FALSE(c->isOpen());
    EXPECT_EQ(owner.log, std::vector<std::string>{"Exception:Agent连接超时"});
    EXPECT_EQ(owner.events.back(), "disconnected 127.0.0.9 Disconnected");
    EXPECT_FALSE(c->isTimeoutRunning());
    EXPECT_FALSE(c->isFailed());  // a time-out is reconnected, not replaced
    c->onTimeout();               // closed already: nothing more
    EXPECT_EQ(owner.log.size(), 1u);
}

// The silence timers of all connections share one timer: each fires at its own deadline, in
// deadline order, and a connection that is gone or was stopped is not fired.
TEST_F(ConnectionTest, SharedSilenceTimerFiresEachConnectionAtItsDeadline)
{
    std::vector<std::shared_ptr<Script>> scripts;
    auto make = [&](const std::string &ip, int timeoutMs) {
        ConnectionSettings settings;
        auto script = std::make_shared<Script>();
        scripts.push_back(script);
        settings.makeSocket = [script] { return std::make_unique<ScriptedAgentSocket>(script); };
        settings.nowMs = [this] { return now; };
        settings.timeoutMs = timeoutMs;
        auto c = std::make_unique<TMMSocketProcessor>(ip, owner, "10012", settings);
        ScriptedAgentSocket::connect(*script);
        return c;
    };
    auto late = make("127.0.0.2", 60);
    auto early = make("127.0.0.1", 20);
    auto gone = make("127.0.0.3", 30);
    auto stopped = make("127.0.0.4", 40);
    gone.reset();
    stopped->abandon();
    EXPECT_FALSE(stopped->isTimeoutRunning());
    owner.events.clear();
    now += 100'000;  // every agent has been silent long enough

    QElapsedTimer waited;
    waited.start();
    while (late->isOpen() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(owner.events, (std::vector<std::string>{"disconnected 127.0.0.1 Disconnected",
                                                      "disconnected 127.0.0.2 Disconnected"}));
    EXPECT_GE(waited.elapsed(), 40);  // the later deadline was kept
    EXPECT_FALSE(early->isTimeoutRunning());
    EXPECT_FALSE(late->isTimeoutRunning());
}

TEST_F(ConnectionTest, SocketErrorIsReportedWithItsNumberAndLeavesTheSocket)
{
    auto c = open();
    ScriptedAgentSocket::fail(*script, 111);
    EXPECT_EQ(owner.errorList, std::vector<std::string>{"网络错误,错误号:111"});
    EXPECT_EQ(script->closes, 0);
    EXPECT_FALSE(c->isFailed());
}

struct GuardCase
{
    double afterMs;
    bool opens;
};

class ReconnectGuard : public ConnectionTest, public ::testing::WithParamInterface<GuardCase>
{
};

TEST_P(ReconnectGuard, ReconnectWithinThreeSecondsOfACloseIsRefused)
{
    auto c = open();
    ScriptedAgentSocket::connect(*script);
    now += 60'000;
    c->disconnect();
    EXPECT_EQ(c->getLastConnectAttempt(), now);
    now += GetParam().afterMs;
    c->reconnect("10013");
    if (GetParam().opens) {
        EXPECT_EQ(script->opens.back(), "127.0.0.9:10013");
        EXPECT_TRUE(owner.errorList.empty());
    } else {
        EXPECT_EQ(script->opens.size(), 1u);
        EXPECT_EQ(owner.errorList,
                  std::vector<std::string>{"报盘机[Ip:127.0.0.9]请勿短时间重复连接"});
    }
}

INSTANTIATE_TEST_SUITE_P(Times, ReconnectGuard,
                         ::testing::Values(GuardCase{0, false}, GuardCase{2500, false},
                                           GuardCase{2999.9, false}, GuardCase{3000, true},
                                           GuardCase{-3000, true}, GuardCase{45000, true}));

TEST_F(ConnectionTest, ReconnectTwiceQuicklyOnlyReportsTheSecond)
{
    auto c = open();
    ScriptedAgentSocket::fail(*script, 111);
    now += 3000;
    c->reconnect("10012");
    c->reconnect("10012");
    EXPECT_EQ(script->opens.size(), 2u);
    EXPECT_EQ(owner.errorList.back(), "报盘机[Ip:127.0.0.9]请勿短时间重复连接");
    ScriptedAgentSocket::connect(*script);
    c->reconnect("10012");  // open already: nothing, not even the refusal
    EXPECT_EQ(owner.errorList.size(), 2u);
}

TEST_F(ConnectionTest, ReadsRestartTheSilenceCount)
{
    auto c = open();
    ScriptedAgentSocket::connect(*script);
    owner.debug = true;
    now += 30'000;
    ScriptedAgentSocket::receive(*script, "beat");
    EXPECT_TRUE(c->isTimeoutRunning());
    EXPECT_EQ(owner.log, std::vector<std::string>{"[From: 127.0.0.9]received:beat"});
    now += 30'000;  // 60 s after connecting, 30 s after the read
    c->onTimeout();
    EXPECT_TRUE(c->isOpen());
    now += 10'000;
    c->onTimeout();
    EXPECT_FALSE(c->isOpen());
}

TEST_F(ConnectionTest, AbandonedConnectionHearsNothingMore)
{
    auto c = open();
    c->abandon();
    EXPECT_TRUE(script->detached);
    ScriptedAgentSocket::connect(*script);
    EXPECT_TRUE(owner.events.empty());
}

} // namespace
} // namespace tarvo
