// The agent's network service against clients that do not play along: clients that stop
// reading, idle and trickling connections that would take every slot, too many connections
// from one address, long request texts in the log, and floods of refused connections.
#include "AgentServerFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <regex>

namespace tarvo {
namespace {

using namespace std::chrono_literals;
using test::AgentServerTest;
using test::count;

// A connection from `local` to the agent whose owner never reads: its receive buffer is kept
// small so that the agent's writes back up at once.
class DeafClient
{
public:
    DeafClient(int port, const char *local = "127.0.0.1")
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int small = 2048;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ::inet_pton(AF_INET, local, &address.sin_addr);
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        address.sin_port = htons(uint16_t(port));
        ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~DeafClient() { ::close(m_fd); }
    bool connected() const { return m_connected; }
    bool send(const std::string &bytes)
    {
        return ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }
    // Reads at most `bytes` of what came (a client that reads too little).
    void readSome(size_t bytes)
    {
        std::string chunk(bytes, '\0');
        [[maybe_unused]] ssize_t n = ::recv(m_fd, chunk.data(), bytes, MSG_DONTWAIT);
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

struct DeafCase
{
    const char *name;
    size_t maxQueuedBytes;
    std::chrono::milliseconds sendTimeout;
    size_t readsPerRound; // 0: reads nothing
    const char *logPart;
};

class AgentServerDeafClient : public AgentServerTest, public ::testing::WithParamInterface<DeafCase>
{
};

TEST_P(AgentServerDeafClient, IsClosedWhileOthersAreAnsweredAtOnce)
{
    settings.timings.maxQueuedBytes = GetParam().maxQueuedBytes;
    settings.timings.sendTimeout = GetParam().sendTimeout;
    startServer();
    test::Client good(server->port());
    DeafClient deaf(server->port());
    ASSERT_TRUE(deaf.connected());
    // Requests enough for megabytes of answers, sent in rounds so that the agent keeps
    // reading them while its writes to this client back up.
    bool closed = false;
    for (int round = 0; round < 200 && !closed; ++round) {
        std::string requests;
        for (int i = 0; i < 8; ++i)
            requests += test::troubleRequest(std::to_string(round * 8 + i), "Big");
        closed = !deaf.send(requests);
        if (GetParam().readsPerRound)
            deaf.readSome(GetParam().readsPerRound);
        // The good client is answered within a fraction of a second all along.
        if (round % 20 == 0) {
            const auto asked = std::chrono::steady_clock::now();
            expectServed(good, std::to_string(round));
            EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
        }
        closed = closed || logText().find(GetParam().logPart) != std::string::npos;
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_TRUE(test::waitUntil([&] {
        return logText().find(GetParam().logPart) != std::string::npos;
    })) << logText();
    EXPECT_TRUE(test::waitUntil([&] { return server->clientCount() == 1; }));
    expectServed(good, "999");
}

INSTANTIATE_TEST_SUITE_P(
    Writes, AgentServerDeafClient,
    ::testing::Values(
        DeafCase{"QueueBound", 64 * 1024, 10s, 0,
                 "bytes wait to be sent: the client reads too little"},
        // Reading a little every round is progress, but never enough to empty the queue.
        DeafCase{"SlowReaderDeadline", 1u << 30, 300ms, 512,
                 "the client has not read what it was sent for 300 ms"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(AgentServerTest, IdleConnectionsGiveTheirSlotsToANewcomerButSpeakersKeepTheirs)
{
    settings.timings.maxClients = 4;
    startServer();
    std::vector<std::unique_ptr<test::Client>> idle;
    for (int i = 0; i < 4; ++i)
        idle.push_back(
            std::make_unique<test::Client>(server->port(), "127.0.0." + std::to_string(i + 2)));
    ASSERT_TRUE(test::waitUntil([&] { return server->clientCount() == 4; }));

    // The console comes while every slot is taken: the oldest silent connection gives way.
    test::Client console(server->port(), "127.0.0.1");
    expectServed(console, "1");
    EXPECT_TRUE(idle[0]->closedByPeer());
    EXPECT_NE(logText().find("connection 1 from 127.0.0.2 closed: every client slot is taken and "
                             "it has sent no whole message: its slot goes to a new connection "
                             "from 127.0.0.1"),
              std::string::npos)
        << logText();

    // Once the others speak, nobody displaces them, nor the console.
    for (size_t i = 1; i < idle.size(); ++i)
        expectServed(*idle[i], std::to_string(10 + i));
    test::Client late(server->port(), "127.0.0.9");
    EXPECT_TRUE(late.closedByPeer());
    EXPECT_TRUE(test::waitUntil([&] {
        return logText().find("refused a connection from 127.0.0.9: too many clients (4)") !=
               std::string::npos;
    })) << logText();
    expectServed(console, "2");
    expectServed(*idle[3], "3");
}

TEST_F(AgentServerTest, OneAddressHoldsOnlyItsShareOfTheSlots)
{
    settings.timings.maxClientsPerAddress = 2;
    startServer();
    test::Client first(server->port(), "127.0.0.3");
    test::Client second(server->port(), "127.0.0.3");
    expectServed(second, "1");
    // The address's silent connection makes room; then only speakers are left.
    test::Client third(server->port(), "127.0.0.3");
    EXPECT_TRUE(first.closedByPeer());
    expectServed(third, "2");
    test::Client fourth(server->port(), "127.0.0.3");
    EXPECT_TRUE(fourth.closedByPeer());
    EXPECT_TRUE(test::waitUntil([&] {
        return logText().find("refused a connection from 127.0.0.3: too many connections from "
                              "this address (2)") != std::string::npos;
    })) << logText();
    EXPECT_NE(logText().find("connection 1 from 127.0.0.3 closed: its address holds 2 "
                             "connections and it has sent no whole message"),
              std::string::npos);
    test::Client other(server->port(), "127.0.0.4");
    expectServed(other, "3");
    expectServed(second, "4");
}

TEST_F(AgentServerTest, SilentConnectionIsClosedButOneThatSendsHeartbeatsIsNot)
{
    settings.timings.idleTimeout = 150ms;
    startServer();
    test::Client silent(server->port());
    test::Client talking(server->port());
    Message beat(PROTOCOL_VERSION, "C", "-1", std::make_unique<BeatMessageBody>());
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < 450ms) {
        ASSERT_TRUE(talking.send(beat.encode()));
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(silent.closedByPeer(0ms) || silent.closedByPeer());
    EXPECT_NE(logText().find("closed: no whole message received for 150 ms"), std::string::npos)
        << logText();
    expectServed(talking, "1");
}

TEST_F(AgentServerTest, TricklingHalfMessageIsClosedAtItsDeadlineFromTheFirstByte)
{
    settings.timings.incompleteTimeout = 300ms;
    startServer();
    test::Client trickler(server->port());
    test::Client good(server->port());
    const std::string request = test::troubleRequest("1", std::string(2000, 'T'));
    const auto start = std::chrono::steady_clock::now();
    size_t sent = 0;
    while (sent < request.size() && trickler.send(request.substr(sent, 1)) &&
           std::chrono::steady_clock::now() - start < 5s) {
        ++sent;
        if (trickler.closedByPeer(20ms))
            break;
    }
    EXPECT_TRUE(trickler.closedByPeer());
    // A byte every 20 ms would keep a limit counted from the last byte alive for 40 s.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_LT(sent, request.size());
    EXPECT_TRUE(test::waitUntil([&] {
        return logText().find("an incomplete message not completed within 300 ms of its first "
                              "byte") != std::string::npos;
    })) << logText();
    expectServed(good, "2");
}

TEST_F(AgentServerTest, LongRequestTextsReachTheLogCutToAFewHundredBytes)
{
    log.setDebug(true);
    startServer();
    test::Client client(server->port());
    const std::string check(19000, 'Q'); // answered with a short text, see the fixture
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(client.send(test::troubleRequest(std::to_string(i), check)));
        ASSERT_NE(client.receiveType("20"), nullptr);
    }
    client.send(
        test::encodeRequest("77", std::make_unique<LogMessageBody>(std::string(19000, 'L'))));
    expectServed(client, "78");
    const std::string text = logText();
    EXPECT_EQ(count(text, std::string(LOGGED_TEXT_LIMIT, 'Q') + "... (19000 bytes)"), 40u)
        << text.size();
    EXPECT_EQ(text.find(std::string(LOGGED_TEXT_LIMIT + 1, 'Q')), std::string::npos);
    // Two debug lines per request, none of them long.
    EXPECT_LT(text.size(), 40u * 1000);
}

TEST_F(AgentServerTest, IgnoredMessagesOfOneConnectionAreLoggedTenTimesAtMost)
{
    startServer();
    test::Client client(server->port());
    const std::string unknown = test::encodeRequest("1", std::make_unique<LogMessageBody>("x\x02"));
    std::string flood;
    for (int i = 0; i < 500; ++i)
        flood += unknown;
    ASSERT_TRUE(client.send(flood));
    expectServed(client, "2");
    const std::string text = logText();
    EXPECT_EQ(count(text, "ignored a message of type \"13\""), 10u);
    EXPECT_EQ(count(text, "; further ignored messages of this connection are not logged"), 1u);
}

TEST_F(AgentServerTest, RefusedConnectionsAreLoggedOnceAnIntervalWithTheirNumber)
{
    settings.accessControl = {"127.0.0.2"};
    settings.timings.refusalLogInterval = 1s;
    startServer();
    constexpr int ATTEMPTS = 40;
    for (int i = 0; i < ATTEMPTS; ++i) {
        test::Client outsider(server->port());
        EXPECT_TRUE(outsider.closedByPeer());
    }
    // Every attempt is accounted for: one line each interval, the rest in the count lines.
    std::regex countLine(
        "refused (\\d+) more connections? from 127\\.0\\.0\\.1 \\(not logged one by one\\)");
    size_t lines = 0;
    long counted = 0;
    ASSERT_TRUE(test::waitUntil(
        [&] {
            const std::string text = logText();
            lines = count(text, "refused a connection from 127.0.0.1: not in ACCESS_CONTROL");
            counted = 0;
            for (std::sregex_iterator it(text.begin(), text.end(), countLine), end; it != end; ++it)
                counted += std::stol((*it)[1]);
            return long(lines) + counted == ATTEMPTS;
        },
        8s))
        << logText();
    EXPECT_LE(lines, 4u);
    test::Client insider(server->port(), "127.0.0.2");
    expectServed(insider, "1");
}

} // namespace
} // namespace tarvo
