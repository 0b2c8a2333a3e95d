// The platform's TCP sockets on the loopback: listening, accepting, both directions, the end
// of a connection, wake-ups, and a port that no second listener can take.
#include "platform/Socket.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

using namespace std::chrono_literals;

struct Pair
{
    Listening listening;
    Socket server;
    Socket client;
    std::string peer;
};

// A listener on 127.0.0.1 (any port), a client connected to it and the accepted socket.
Pair connectedPair()
{
    Pair pair;
    pair.listening = listenTcp("127.0.0.1", 0, 4);
    EXPECT_EQ(pair.listening.error, "");
    Connected client = connectTcp("127.0.0.1", uint16_t(pair.listening.port), "", 2000ms);
    EXPECT_EQ(client.error, "");
    pair.client = std::move(client.socket);
    PollEntry waiting = PollEntry::of(pair.listening.socket, POLL_READABLE);
    std::string error;
    EXPECT_EQ(pollSockets(&waiting, 1, 2000, error), 1) << error;
    Accepted accepted = acceptConnection(pair.listening.socket);
    EXPECT_EQ(accepted.status, Accepted::Status::Accepted) << accepted.error;
    pair.server = std::move(accepted.socket);
    pair.peer = accepted.peer;
    return pair;
}

// Polls `socket` for reading and reads what came, at most `size` bytes.
SocketIo readWithin(Socket &socket, std::string &text, size_t size = 64)
{
    PollEntry entry = PollEntry::of(socket, POLL_READABLE);
    std::string error;
    pollSockets(&entry, 1, 2000, error);
    char buffer[64];
    SocketIo io = socket.receive(buffer, std::min(size, sizeof buffer));
    if (io.status == SocketIo::Status::Done)
        text.assign(buffer, io.bytes);
    return io;
}

TEST(Socket, ConnectedPairCarriesBytesBothWaysAndNamesThePeer)
{
    Pair pair = connectedPair();
    EXPECT_EQ(pair.peer, "127.0.0.1");
    EXPECT_GT(pair.listening.port, 0);
    EXPECT_EQ(pair.listening.socket.localPort(), pair.listening.port);
    pair.server.setNoDelay();

    std::string text;
    char nothing[8];
    EXPECT_EQ(pair.server.receive(nothing, sizeof nothing).status, SocketIo::Status::WouldBlock);
    EXPECT_EQ(pair.client.send("ping\x01", 5).bytes, 5u);
    EXPECT_EQ(readWithin(pair.server, text).status, SocketIo::Status::Done);
    EXPECT_EQ(text, "ping\x01");
    EXPECT_EQ(pair.server.send("pong", 4).bytes, 4u);
    readWithin(pair.client, text);
    EXPECT_EQ(text, "pong");
}

TEST(Socket, ThePeersEndIsSeenAsClosedAndAShutdownAsTheEnd)
{
    Pair pair = connectedPair();
    pair.client.close();
    std::string text;
    EXPECT_EQ(readWithin(pair.server, text).status, SocketIo::Status::Closed);

    Pair second = connectedPair();
    second.server.shutdownBoth();
    EXPECT_EQ(readWithin(second.client, text).status, SocketIo::Status::Closed);
}

TEST(Socket, WakeUpEndsAWaitUntilItIsCleared)
{
    WakeUp wakeUp;
    ASSERT_TRUE(wakeUp.ok()) << wakeUp.error();
    PollEntry entry = PollEntry::of(wakeUp);
    std::string error;
    EXPECT_EQ(pollSockets(&entry, 1, 20, error), 0);
    wakeUp.signal();
    wakeUp.signal();
    EXPECT_EQ(pollSockets(&entry, 1, 2000, error), 1);
    EXPECT_EQ(entry.ready & POLL_READABLE, unsigned(POLL_READABLE));
    wakeUp.clear();
    EXPECT_EQ(pollSockets(&entry, 1, 20, error), 0);
}

TEST(Socket, APortHeldIsRefusedToASecondListenerAndBadAddressesAreNamed)
{
    Listening first = listenTcp("127.0.0.1", 0, 4);
    ASSERT_EQ(first.error, "");
    Listening second = listenTcp("127.0.0.1", first.port, 4);
    EXPECT_EQ(second.failure, Listening::Failure::Bind);
    EXPECT_FALSE(second.error.empty());
    EXPECT_GT(second.errorNumber, 0);
    EXPECT_EQ(listenTcp("not-an-address", 0, 4).failure, Listening::Failure::NotNumeric);

    Connected refused = connectTcp("127.0.0.1", uint16_t(first.port), "127.0.0.x", 500ms);
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.error, "not a dotted IPv4 address");
    first.socket.close();
    EXPECT_FALSE(connectTcp("127.0.0.1", uint16_t(first.port), "", 500ms).ok());
}

TEST(Socket, AStartedConnectionIsMadeOnceWritableAndANonAddressIsNamed)
{
    // IPv6 where the loopback has it.
    for (const char *address : {"::1", "127.0.0.1"}) {
        Listening listening = listenTcp(address, 0, 4);
        if (!listening.socket.valid() && std::string(address) == "::1")
            continue;
        ASSERT_EQ(listening.error, "") << address;
        Connecting connecting = startConnecting(address, uint16_t(listening.port));
        ASSERT_TRUE(connecting.socket.valid()) << address << ": " << connecting.error;
        PollEntry entry = PollEntry::of(connecting.socket, POLL_WRITABLE);
        std::string error;
        ASSERT_EQ(pollSockets(&entry, 1, 2000, error), 1) << address << ": " << error;
        EXPECT_EQ(connectResult(connecting.socket), 0) << address;
    }
    // Refused before any socket is made: nothing is sent.
    for (const auto &[remote, local] :
         {std::pair{"127.0.0.x", ""}, std::pair{"127.0.0.1", "nowhere"}}) {
        Connecting bad = startConnecting(remote, 10012, local);
        EXPECT_FALSE(bad.socket.valid()) << remote << " from " << local;
        EXPECT_EQ(bad.error, NOT_AN_ADDRESS) << remote << " from " << local;
    }
}

} // namespace
} // namespace tarvo
