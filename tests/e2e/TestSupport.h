// Helpers of the agent tests: a protocol client over TCP, child processes that are always
// killed, free loopback ports, polling with a deadline, temporary directories.
#pragma once

#include "agent/service/FrameReader.h"

#include "protocol/Message.h"
#include "protocol/MessageBodies.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

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
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "tarvo-e2e-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const std::string &path() const { return m_path; }
    std::string operator/(const std::string &relative) const { return m_path + "/" + relative; }

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

// A loopback port that was free a moment ago.
inline int freePort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// GET /metrics over loopback; "" when nothing answers.
inline std::string scrapeMetrics(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
        const std::string request = "GET /metrics HTTP/1.0\r\n\r\n";
        (void)!::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char chunk[8192];
        for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
            reply.append(chunk, size_t(n));
    }
    ::close(fd);
    return reply;
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
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (!localAddress.empty()) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            ::inet_pton(AF_INET, localAddress.c_str(), &local.sin_addr);
            ::bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~Client()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    bool connected() const { return m_connected; }

    bool send(const std::string &bytes)
    {
        return ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }

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
        pollfd fd{m_fd, POLLIN, 0};
        if (::poll(&fd, 1, int(limit.count())) <= 0)
            return false;
        char chunk[65536];
        ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            m_closed = true;
            return false;
        }
        m_frames.append(std::string_view(chunk, size_t(n)));
        return true;
    }

    int m_fd = -1;
    bool m_connected = false;
    bool m_closed = false;
    FrameReader m_frames;
    std::deque<std::unique_ptr<Message>> m_backlog;
};

// A child process started in `dir`, killed and reaped when the guard goes.
class ChildProcess
{
public:
    ChildProcess(const std::string &executable, const std::vector<std::string> &args,
                 const std::string &dir, const std::string &outputFile)
    {
        m_pid = ::fork();
        if (m_pid == 0) {
            if (!dir.empty() && ::chdir(dir.c_str()) != 0)
                ::_exit(126);
            int out = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out >= 0) {
                ::dup2(out, 1);
                ::dup2(out, 2);
            }
            std::vector<char *> argv;
            argv.push_back(const_cast<char *>(executable.c_str()));
            for (const std::string &arg : args)
                argv.push_back(const_cast<char *>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(executable.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~ChildProcess() { kill(SIGKILL); }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    pid_t pid() const { return m_pid; }

    // Waits for the child to end by itself; returns its wait status.
    int wait()
    {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }

    // Sends `signal` and reaps the child; returns its wait status (-1 when already gone).
    int kill(int signal = SIGKILL)
    {
        if (m_pid <= 0)
            return -1;
        ::kill(m_pid, signal);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }

private:
    pid_t m_pid = -1;
};

// Runs a program to its end and returns its exit code and output.
inline int runProgram(const std::string &executable, const std::vector<std::string> &args,
                      const std::string &dir, std::string &output)
{
    const std::string outputFile =
        (fs::temp_directory_path() / ("tarvo-e2e-out-" + std::to_string(::getpid()))).string();
    int status = 0;
    {
        ChildProcess child(executable, args, dir, outputFile);
        status = child.wait();
    }
    output = readFile(outputFile);
    std::error_code ec;
    fs::remove(outputFile, ec);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace tarvo::test
