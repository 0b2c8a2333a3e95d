// Helpers of the agent tests: a protocol client over TCP, child processes that are always
// killed, the ports agents listen on, polling with a deadline, temporary directories. Written on the
// platform's sockets and the tests' system support, so that they serve on Linux and Windows.
#pragma once

#include "SystemSupport.h"

#include "agent/service/FrameReader.h"

#include "platform/Files.h"
#include "platform/Socket.h"
#include "protocol/Message.h"
#include "protocol/MessageBodies.h"

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tarvo::test {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Polls `condition` every 10 ms until it holds or `limit` has passed.
inline bool waitUntil(const std::function<bool()> &condition,
                      std::chrono::milliseconds limit = 5000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// How often `part` occurs in `text` (overlapping occurrences counted).
inline size_t count(const std::string &text, const std::string &part)
{
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++found;
    return found;
}

// A fresh directory removed at the end of the test.
class TempDir
{
public:
    TempDir() : m_path(makeTemporaryDirectory("tarvo-e2e")) {}
    ~TempDir() { removeTree(m_path); }
    const std::string &path() const { return m_path; }
    // `relative` is written with "/".
    std::string operator/(const std::string &relative) const
    {
        return m_path + PATH_SEPARATOR + nativePath(relative);
    }

private:
    std::string m_path;
};

inline void writeFile(const std::string &path, const std::string &bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Ports are never looked for: a program under test listens on port 0 and tells the port the
// system chose, which the tests read. A port found free and bound later races other tests.
// The port after the `nth` (1-based) occurrence of `head` in `text`; 0 while there is none.
inline int portAfter(const std::string &text, const std::string &head, size_t nth = 1)
{
    size_t seen = 0;
    for (size_t at = text.find(head); at != std::string::npos; at = text.find(head, at + 1)) {
        if (++seen != nth)
            continue;
        int port = 0;
        for (at += head.size(); at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
            port = port * 10 + (text[at] - '0');
        return port;
    }
    return 0;
}

// What an agent logs once it listens ("listening on 127.0.0.1:40123, ..."), up to the port.
inline std::string listeningOn(const std::string &address) { return "listening on " + address + ":"; }

// What the console writes once its metrics listen, up to the port.
inline std::string metricsOn(const std::string &address) { return "Metrics: http://" + address + ":"; }

// The port of the `nth` "listening on ADDRESS:PORT" line of an agent's log; 0 while none.
inline int loggedPort(const std::string &log, const std::string &address, size_t nth = 1)
{
    return portAfter(log, listeningOn(address), nth);
}

// Waits until the file at `path` tells the port after its `nth` `head`; 0 when it does not in time.
inline int waitForPort(const std::string &path, const std::string &head, size_t nth = 1,
                       std::chrono::milliseconds limit = 10000ms)
{
    int port = 0;
    waitUntil([&] { return (port = portAfter(readFile(path), head, nth)) != 0; }, limit);
    return port;
}

// Waits for the `nth` port that the agent log at `logPath` tells; 0 when none comes in time.
inline int waitForLoggedPort(const std::string &logPath, const std::string &address,
                             size_t nth = 1, std::chrono::milliseconds limit = 10000ms)
{
    return waitForPort(logPath, listeningOn(address), nth, limit);
}

// Sends all of `bytes`, waiting while the socket takes no more; false when it fails.
inline bool sendAll(Socket &socket, const std::string &bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        SocketIo io = socket.send(bytes.data() + sent, bytes.size() - sent);
        if (io.status == SocketIo::Status::Done) {
            sent += io.bytes;
            continue;
        }
        if (io.status != SocketIo::Status::WouldBlock)
            return false;
        PollEntry entry = PollEntry::of(socket, POLL_WRITABLE);
        std::string error;
        if (pollSockets(&entry, 1, 5000, error) <= 0)
            return false;
    }
    return true;
}

// GET /metrics over loopback; "" when nothing answers.
inline std::string scrapeMetrics(int port)
{
    Connected connected = connectTcp("127.0.0.1", uint16_t(port), "", 5000ms);
    std::string reply;
    if (!connected.ok() || !sendAll(connected.socket, "GET /metrics HTTP/1.0\r\n\r\n"))
        return reply;
    for (;;) {
        PollEntry entry = PollEntry::of(connected.socket, POLL_READABLE);
        std::string error;
        if (pollSockets(&entry, 1, 5000, error) <= 0)
            return reply;
        char chunk[8192];
        SocketIo io = connected.socket.receive(chunk, sizeof chunk);
        if (io.status == SocketIo::Status::WouldBlock)
            continue;
        if (io.status != SocketIo::Status::Done)
            return reply;
        reply.append(chunk, io.bytes);
    }
}

inline std::string encodeRequest(const std::string &sequence, std::unique_ptr<MessageBody> body)
{
    Message message(PROTOCOL_VERSION, "C", sequence, std::move(body));
    return message.encode();
}

inline std::string statusRequest(const std::string &sequence)
{
    return encodeRequest(sequence, std::make_unique<StatusRequestMessageBody>());
}

inline std::string troubleRequest(const std::string &sequence, const std::string &check)
{
    return encodeRequest(sequence,
                         std::make_unique<TroubleShootingRequestMessageBody>("TroubleShooting", check));
}

// A console-side connection: raw bytes out, decoded messages in.
class Client
{
public:
    // Connects to 127.0.0.1:`port` (from `localAddress` when given).
    explicit Client(int port, const std::string &localAddress = {})
    {
        Connected connected = connectTcp("127.0.0.1", uint16_t(port), localAddress, 5000ms);
        m_socket = std::move(connected.socket);
        m_connected = m_socket.valid();
    }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    bool connected() const { return m_connected; }

    bool send(const std::string &bytes) { return m_connected && sendAll(m_socket, bytes); }

    // The next message, or nullptr when none came within `limit` or the agent closed.
    std::unique_ptr<Message> receive(std::chrono::milliseconds limit = 5000ms)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            FrameReader::Result result = m_frames.next();
            if (result.kind == FrameReader::Result::Kind::Complete)
                return std::move(result.message);
            if (result.kind == FrameReader::Result::Kind::Error || m_closed)
                return nullptr;
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return nullptr;
            if (!readSome(left))
                return nullptr;
        }
    }

    // The next message of `type`. Messages of other types that arrive first are kept for
    // later receiveType calls (heartbeats excepted), so none is lost to the wrong caller.
    std::unique_ptr<Message> receiveType(const std::string &type,
                                         std::chrono::milliseconds limit = 5000ms)
    {
        for (auto it = m_backlog.begin(); it != m_backlog.end(); ++it) {
            if ((*it)->getMessageType() == type) {
                std::unique_ptr<Message> message = std::move(*it);
                m_backlog.erase(it);
                return message;
            }
        }
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return nullptr;
            std::unique_ptr<Message> message = receive(left);
            if (!message || message->getMessageType() == type)
                return message;
            if (message->getMessageType() != "12" && m_backlog.size() < 1000)
                m_backlog.push_back(std::move(message));
        }
    }

    // True once the agent has closed the connection (within `limit`).
    bool closedByPeer(std::chrono::milliseconds limit = 5000ms)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!m_closed) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            readSome(left);
        }
        return true;
    }

private:
    bool readSome(std::chrono::milliseconds limit)
    {
        if (!m_connected)
            return false;
        PollEntry entry = PollEntry::of(m_socket, POLL_READABLE);
        std::string error;
        if (pollSockets(&entry, 1, int(limit.count()), error) <= 0)
            return false;
        char chunk[65536];
        SocketIo io = m_socket.receive(chunk, sizeof chunk);
        if (io.status == SocketIo::Status::WouldBlock)
            return true;
        if (io.status != SocketIo::Status::Done) {
            m_closed = true;
            return false;
        }
        m_frames.append(std::string_view(chunk, io.bytes));
        return true;
    }

    Socket m_socket;
    bool m_connected = false;
    bool m_closed = false;
    FrameReader m_frames;
    std::deque<std::unique_ptr<Message>> m_backlog;
};

} // namespace tarvo::test
