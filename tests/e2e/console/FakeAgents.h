// Fake agents on loopback for the console program's robustness tests: the wire helpers, a
// listening socket whose connections a function serves on a thread of its own, a good agent
// that answers every status request and keeps the times of the requests, and readers of the
// console's metrics and memory.
#pragma once

#include "TestSupport.h"
#include "../../host/PackageBuilders.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <mutex>
#include <optional>

namespace tarvo::test {

using Clock = std::chrono::steady_clock;

inline bool sendWhole(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

// What arrives within `waitMs`: "" when nothing did, nullopt when the peer closed.
inline std::optional<std::string> receive(int fd, int waitMs)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0)
        return std::string();
    char chunk[65536];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0)
        return std::nullopt;
    return std::string(chunk, size_t(n));
}

// Takes the console's complete messages from the front of `buffer`.
inline std::vector<std::unique_ptr<Message>> takeMessages(std::string &buffer)
{
    std::vector<std::unique_ptr<Message>> messages;
    for (;;) {
        auto message = std::make_unique<Message>();
        const int r = message->decode(buffer);
        if (r <= 0)
            return messages;
        buffer.erase(0, size_t(r) + 6);
        messages.push_back(std::move(message));
    }
}

inline std::string agentMessage(const std::string &sequence, std::unique_ptr<MessageBody> body)
{
    return Message(PROTOCOL_VERSION, "S", sequence, std::move(body)).encode();
}

inline std::string beat() { return agentMessage("-1", std::make_unique<BeatMessageBody>()); }

inline std::string logRecords(const std::string &records)
{
    return agentMessage("-1", std::make_unique<LogMessageBody>(records));
}

// A status answer whose CPU figure is `cpu`, with one PBU whose operator code is `op`.
inline std::string statusAnswer(const std::string &sequence, int cpu,
                                const std::string &op = "A0000000001")
{
    using namespace tarvo::testing;
    return agentMessage(
        sequence, std::make_unique<StatusResponseMessageBody>(
                      "正常运行", "2009-06-01 09:05:03 ", std::to_string(cpu), "20", "30", "00",
                      package({oes("Y", OES_NAME_A, "运行"), oes("Y", OES_NAME_B, "运行")}),
                      package({pbu(OES_NAME_A, op)})));
}

// A listening socket whose connections are served one after the other by `serve` on a
// thread of its own. Until release() it accepts nothing: the console's connections complete
// in the kernel and wait there.
class FakeAgent
{
public:
    using Serve =
        std::function<void(int fd, const std::string &localIp, const std::atomic<bool> &stop)>;

    FakeAgent(const std::string &bindIp, Serve serveConnection, bool released = true)
        : serve(std::move(serveConnection)), open(released)
    {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ::inet_pton(AF_INET, bindIp.c_str(), &address.sin_addr);
        ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(listener, 1024);
        socklen_t length = sizeof address;
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
        listeningPort = ntohs(address.sin_port);
        thread = std::thread([this] { run(); });
    }
    ~FakeAgent()
    {
        stop = true;
        thread.join();
        ::close(listener);
    }

    int port() const { return listeningPort; }
    void release() { open = true; }
    int accepted() const { return acceptedCount; }

private:
    void run()
    {
        while (!stop) {
            pollfd p{listener, POLLIN, 0};
            if (!open || ::poll(&p, 1, 20) <= 0) {
                if (!open)
                    std::this_thread::sleep_for(10ms);
                continue;
            }
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ++acceptedCount;
            // A console that stops reading must not hang the test.
            const timeval sendLimit{2, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
            sockaddr_in local{};
            socklen_t length = sizeof local;
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length);
            char ip[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &local.sin_addr, ip, sizeof ip);
            serve(fd, ip, stop);
            ::close(fd);
        }
    }

    Serve serve;
    int listener = -1;
    int listeningPort = 0;
    std::atomic<bool> stop{false};
    std::atomic<bool> open;
    std::atomic<int> acceptedCount{0};
    std::thread thread;
};

// Answers every status request at once; its CPU figure counts the answers.
struct GoodAgent
{
    std::mutex lock;
    std::vector<Clock::time_point> requests;
    int lastCpu = 0;

    void serve(int fd, const std::atomic<bool> &stop)
    {
        std::string buffer;
        while (!stop) {
            const std::optional<std::string> bytes = receive(fd, 50);
            if (!bytes)
                return;
            buffer += *bytes;
            for (const auto &message : takeMessages(buffer)) {
                if (message->getMessageType() != "02")
                    continue;
                int cpu = 0;
                {
                    std::lock_guard guard(lock);
                    requests.push_back(Clock::now());
                    cpu = lastCpu = int(requests.size() % 90) + 1;
                }
                if (!sendWhole(fd, statusAnswer(message->getSequence(), cpu)))
                    return;
            }
        }
    }
    size_t requestCount()
    {
        std::lock_guard guard(lock);
        return requests.size();
    }
    int cpu()
    {
        std::lock_guard guard(lock);
        return lastCpu;
    }
    // The figure of the answer before the last one.
    int previousCpu()
    {
        std::lock_guard guard(lock);
        return requests.size() < 2 ? -1 : int((requests.size() - 1) % 90) + 1;
    }
    // The longest time between two requests from `from` on (and from the last one to now).
    std::chrono::milliseconds longestGap(Clock::time_point from)
    {
        std::lock_guard guard(lock);
        Clock::time_point previous = from;
        Clock::duration longest{};
        for (const auto &at : requests) {
            if (at < from)
                continue;
            longest = std::max(longest, at - previous);
            previous = at;
        }
        longest = std::max(longest, Clock::now() - previous);
        return std::chrono::duration_cast<std::chrono::milliseconds>(longest);
    }
};

inline long residentKb(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// True once process `pid` has ended (a zombie not yet reaped counts as ended).
inline bool processEnded(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t paren = stat.rfind(')');
    return stat.empty() || (paren != std::string::npos && paren + 2 < stat.size() &&
                            stat[paren + 2] == 'Z');
}

// The value of `metric` for host `ip` in a /metrics text; "" when it has none.
inline std::string metricOf(const std::string &metrics, const std::string &metric,
                            const std::string &ip)
{
    // Labels come in name order: environment before host.
    const std::string head = "\n" + metric + "{";
    const std::string host = "host=\"" + ip + "\"";
    for (size_t at = metrics.find(head); at != std::string::npos; at = metrics.find(head, at + 1)) {
        const size_t end = metrics.find('\n', at + 1);
        const std::string line = metrics.substr(at + 1, end - at - 1);
        if (line.find(host) != std::string::npos)
            return line.substr(line.rfind(' ') + 1);
    }
    return {};
}

// The address of the i-th of many hostile hosts: 127.0.1.1 ... 127.0.1.250, 127.0.2.1 ...
inline std::string manyHostIp(int i)
{
    return "127.0." + std::to_string(1 + i / 250) + "." + std::to_string(1 + i % 250);
}

inline int manyHostIndex(const std::string &ip)
{
    int a = 0, b = 0, c = 0, d = 0;
    std::sscanf(ip.c_str(), "%d.%d.%d.%d", &a, &b, &c, &d);
    return (c - 1) * 250 + d - 1;
}

// Bytes of the regular files under `dir` (links not followed).
inline uintmax_t directoryBytes(const std::string &dir)
{
    uintmax_t bytes = 0;
    std::error_code ec;
    for (const auto &entry : fs::recursive_directory_iterator(dir, ec))
        if (entry.is_regular_file(ec) && !entry.is_symlink(ec))
            bytes += entry.file_size(ec);
    return bytes;
}

// Today's date as the console's logs name it (YYYY-MM-DD), `days` later.
inline std::string logDate(int days = 0)
{
    const std::time_t at = std::time(nullptr) + days * 86400;
    std::tm parts{};
    localtime_r(&at, &parts);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    return text;
}

} // namespace tarvo::test
