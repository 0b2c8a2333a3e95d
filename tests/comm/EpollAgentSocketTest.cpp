// The epoll-based agent socket on loopback: events never inside open(), a write larger than
// the system takes at once arrives whole, a reset is an error and then a disconnect, a detached
// socket is silent, and many sockets with data at once are all served.
#include "ProcessUntil.h"
#include "comm/EpollAgentSocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <vector>

namespace tarvo {
namespace {

using test::processUntil;

struct Recorder
{
    std::vector<std::string> events;
    std::string received;

    AgentSocket::Events on(EpollAgentSocket &socket)
    {
        return {
            [this] { events.push_back("connected"); },
            [this, &socket] {
                received += socket.readAll();
                events.push_back("read");
            },
            [this] { events.push_back("disconnected"); },
            [this](int code) { events.push_back("error " + std::to_string(code)); },
        };
    }
    bool saw(const std::string &event) const
    {
        return std::find(events.begin(), events.end(), event) != events.end();
    }
};

class EpollSocket : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0)); }

    // A socket connected to the server, and the server's end of it.
    QTcpSocket *connect(EpollAgentSocket &socket, Recorder &recorder)
    {
        socket.setEvents(recorder.on(socket));
        socket.open("127.0.0.1", server.serverPort());
        // Even on loopback the connection is reported from the event loop, never inside open().
        EXPECT_TRUE(recorder.events.empty());
        EXPECT_TRUE(processUntil([&] { return recorder.saw("connected"); }));
        EXPECT_TRUE(processUntil([&] { return server.hasPendingConnections(); }));
        return server.nextPendingConnection();
    }

    QTcpServer server;
};

TEST_F(EpollSocket, RefusedIsAnErrorFromTheLoopAndNoDisconnect)
{
    const quint16 port = server.serverPort();
    server.close();
    EpollAgentSocket socket;
    Recorder recorder;
    socket.setEvents(recorder.on(socket));
    socket.open("127.0.0.1", port);
    EXPECT_TRUE(recorder.events.empty());
    ASSERT_TRUE(processUntil([&] { return !recorder.events.empty(); }));
    EXPECT_EQ(recorder.events, std::vector<std::string>{"error 111"});
    EXPECT_FALSE(socket.isActive());
    EXPECT_EQ(socket.write("x"), std::optional<std::string>("Socket is not connected"));
}

TEST_F(EpollSocket, ALargeWriteArrivesWholeWhileThePeerReadsLate)
{
    EpollAgentSocket socket;
    Recorder recorder;
    QTcpSocket *peer = connect(socket, recorder);
    ASSERT_NE(peer, nullptr);
    std::string bytes(8 << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = char('a' + i % 26);
    EXPECT_EQ(socket.write(bytes), std::nullopt);
    EXPECT_GT(socket.bytesToWrite(), 0u);  // more than the system takes at once
    QByteArray got;
    ASSERT_TRUE(processUntil([&] {
        got += peer->readAll();
        return size_t(got.size()) >= bytes.size();
    }, 20000));
    EXPECT_EQ(got.toStdString(), bytes);
    EXPECT_EQ(socket.bytesToWrite(), 0u);
}

TEST_F(EpollSocket, ReadsThenHearsAResetAsErrorAndDisconnect)
{
    EpollAgentSocket socket;
    Recorder recorder;
    QTcpSocket *peer = connect(socket, recorder);
    ASSERT_NE(peer, nullptr);
    peer->write("hello");
    peer->flush();
    ASSERT_TRUE(processUntil([&] { return recorder.received == "hello"; }));
    // A linger of zero makes the close a reset.
    const int fd = int(peer->socketDescriptor());
    const linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    peer->abort();
    ASSERT_TRUE(processUntil([&] { return recorder.saw("disconnected"); }));
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"connected", "read",
                                                         "error " + std::to_string(ECONNRESET),
                                                         "disconnected"}));
    EXPECT_FALSE(socket.isActive());
}

TEST_F(EpollSocket, OwnCloseReportsInsideAndDetachIsSilent)
{
    EpollAgentSocket closing, detached;
    Recorder a, b;
    ASSERT_NE(connect(closing, a), nullptr);
    QTcpSocket *peer = connect(detached, b);
    ASSERT_NE(peer, nullptr);
    closing.close();
    EXPECT_EQ(a.events.back(), "disconnected");
    detached.detach();
    peer->write("late");
    peer->flush();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(b.events, std::vector<std::string>{"connected"});
}

TEST_F(EpollSocket, ManySocketsWithDataAtOnceAreAllServed)
{
    constexpr int kCount = 100;  // more than one pass of the loop serves
    std::vector<std::unique_ptr<EpollAgentSocket>> sockets;
    std::vector<Recorder> recorders(kCount);
    std::vector<QTcpSocket *> peers;
    for (int i = 0; i < kCount; ++i) {
        sockets.push_back(std::make_unique<EpollAgentSocket>());
        peers.push_back(connect(*sockets.back(), recorders[size_t(i)]));
        ASSERT_NE(peers.back(), nullptr);
    }
    for (int i = 0; i < kCount; ++i) {
        peers[size_t(i)]->write(QByteArray::number(i));
        peers[size_t(i)]->flush();
    }
    ASSERT_TRUE(processUntil([&] {
        for (int i = 0; i < kCount; ++i)
            if (recorders[size_t(i)].received != std::to_string(i))
                return false;
        return true;
    }));
}

} // namespace
} // namespace tarvo
