// Helpers of the hostile-client tests against the real TarvoMonitorAgent: an installation
// whose ACCESS_CONTROL names loopback addresses, a console that keeps polling on its own
// thread and times every answer, and samplers of the agent's resident memory and CPU time.
#pragma once

#include "OesSim.h"
#include "TestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

namespace tarvo::test {

// The agent under attack: its port and installation directory.
struct HostileAgent
{
    int port = 0;
    const TempDir *dir = nullptr;
    std::string log() const { return readFile(*dir / "logs/TarvoMonitorAgent.log"); }
    std::string statusFile() const { return *dir / "monitor/ASHR_status.txt"; }
};

// The CPU time process `pid` has used (user and system), 0 when it cannot be read.
inline std::chrono::milliseconds cpuTime(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    // The fields after the command name, which is in parentheses: utime and stime are the
    // 12th and 13th of them.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i)
        if (i >= 12)
            ticks += std::atol(field.c_str());
    return std::chrono::milliseconds(ticks * 1000 / ::sysconf(_SC_CLK_TCK));
}

// VmRSS of process `pid` in kB, 0 when it cannot be read.
inline long residentKb(pid_t pid)
{
    std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

// A connection from `local` (a loopback address) to the agent on 127.0.0.1:`port`, with
// a receive buffer of `receiveBuffer` bytes when given; -1 when it cannot connect.
inline int connectFrom(int port, const std::string &local, int receiveBuffer = 0)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, local.c_str(), &address.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    address.sin_port = htons(uint16_t(port));
    ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends what the socket takes within `limit`; false once the agent closed or reset.
inline bool sendAll(int fd, std::string_view bytes, std::chrono::milliseconds limit = 2000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            bytes.remove_prefix(size_t(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return true;
        pollfd out{fd, POLLOUT, 0};
        ::poll(&out, 1, 20);
    }
    return true;
}

// True once the agent has closed `fd` (end of stream or reset) within `limit`; what it sent
// before is read and dropped.
inline bool closedByAgent(int fd, std::chrono::milliseconds limit = 5000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char chunk[65536];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd in{fd, POLLIN, 0};
        if (::poll(&in, 1, int(left.count())) <= 0)
            continue;
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return true;
    }
}

// A well-behaved console on its own thread: a status request every `period`, each answer
// awaited for at most 5 s (one poll period of a real console). It reconnects when closed.
class PollingConsole
{
public:
    PollingConsole(int port, std::chrono::milliseconds period = 200ms)
        : m_thread([this, port, period] { run(port, period); })
    {
    }
    ~PollingConsole()
    {
        m_stop = true;
        m_thread.join();
    }
    long answered() const { return m_answered; }
    long missed() const { return m_missed; }
    long closed() const { return m_closed; }
    std::chrono::milliseconds slowest() const
    {
        return std::chrono::milliseconds(m_slowestMs.load());
    }

private:
    void run(int port, std::chrono::milliseconds period)
    {
        auto client = std::make_unique<Client>(port, "127.0.0.1");
        long sequence = 0;
        while (!m_stop) {
            const auto asked = std::chrono::steady_clock::now();
            const std::string seq = std::to_string(++sequence);
            std::unique_ptr<Message> answer;
            if (client->send(statusRequest(seq)))
                answer = client->receiveType("03", 5000ms);
            const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - asked);
            if (answer && answer->getSequence() == seq) {
                ++m_answered;
                m_slowestMs = std::max<long>(m_slowestMs, long(took.count()));
            } else {
                ++m_missed;
                if (client->closedByPeer(0ms))
                    ++m_closed;
                client = std::make_unique<Client>(port, "127.0.0.1");
            }
            std::this_thread::sleep_for(period);
        }
    }

    std::atomic<bool> m_stop = false;
    std::atomic<long> m_answered = 0;
    std::atomic<long> m_missed = 0;
    std::atomic<long> m_closed = 0;
    std::atomic<long> m_slowestMs = 0;
    std::thread m_thread;
};

// The agent's VmRSS sampled every 10 ms on its own thread: the highest value seen.
class MemorySampler
{
public:
    explicit MemorySampler(pid_t pid)
        : m_thread([this, pid] {
              while (!m_stop) {
                  m_peak = std::max(m_peak.load(), residentKb(pid));
                  std::this_thread::sleep_for(10ms);
              }
          })
    {
    }
    ~MemorySampler()
    {
        m_stop = true;
        m_thread.join();
    }
    long peakKb() const { return m_peak; }

private:
    std::atomic<bool> m_stop = false;
    std::atomic<long> m_peak = 0;
    std::thread m_thread;
};

// An installation of program A (not running) whose ACCESS_CONTROL names 127.0.0.1 to
// 127.0.0.`lastAllowed`.
inline void layOutHostileInstallation(const TempDir &dir, int lastAllowed)
{
    fs::copy_file(TARVO_OES_SIM_EXE, dir / "Tarvo_ASHR.exe");
    writeFile(dir / "cfgA/SystemConfiguration.ini",
              sim::demoSystemConfiguration(sim::Program::A, 2, "127.0.0.1"));
    writeFile(dir / "tarvo.ini", "[TARVO]\r\nenvNo=00\r\n");
    std::string allowed;
    for (int i = 1; i <= lastAllowed; ++i)
        allowed += "console" + std::to_string(i) + "=127.0.0." + std::to_string(i) + "\r\n";
    writeFile(dir / "TarvoMonitorAgent.ini",
              "[Tarvo]\r\nlogs_dir=./logs/\r\nA股报盘程序=Y\r\nB股报盘程序=N\r\n"
              "[PORT]\r\nport=10012\r\n[LOG]\r\nname=TarvoMonitorAgent.log\r\n"
              "Debug=OFF\r\n[ACCESS_CONTROL]\r\n" +
                  allowed);
    fs::create_directories(dir / "monitor");
}

} // namespace tarvo::test
