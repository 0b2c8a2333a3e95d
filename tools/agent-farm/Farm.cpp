// The farm's sockets and its epoll loop.
#include "Farm.h"

#include "protocol/StreamFramer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvo::farm {

namespace {

using Clock = std::chrono::steady_clock;

// Requests that arrive faster than this many bytes ahead of the answers close the client.
constexpr size_t kMaxInput = 1 << 20;
constexpr auto kTimerPass = std::chrono::milliseconds(500);

std::string errnoText(int error) { return std::strerror(error); }

} // namespace

struct Farm::Connection
{
    int fd = -1;
    int host = 0;
    std::string input;
    std::string output;
    bool writing = false;  // EPOLLOUT is armed
    Clock::time_point lastSent;
    Clock::time_point nextLog;
};

std::vector<std::string> farmAddresses(const std::string &first, int count)
{
    in_addr parsed{};
    if (::inet_pton(AF_INET, first.c_str(), &parsed) != 1)
        throw std::invalid_argument("not an IPv4 address: " + first);
    uint32_t address = ntohl(parsed.s_addr);
    if ((address >> 24) != 127)
        throw std::invalid_argument("not a loopback address (127.x.y.z): " + first);
    std::vector<std::string> addresses;
    addresses.reserve(size_t(count > 0 ? count : 0));
    while (int(addresses.size()) < count) {
        const uint32_t last = address & 0xFF;
        if (last == 0 || last == 255) {
            ++address;
            continue;
        }
        if ((address >> 24) != 127)
            throw std::invalid_argument("too many agents from " + first +
                                        ": the addresses run out of 127.0.0.0/8");
        in_addr out{};
        out.s_addr = htonl(address);
        char text[INET_ADDRSTRLEN];
        ::inet_ntop(AF_INET, &out, text, sizeof text);
        addresses.emplace_back(text);
        ++address;
    }
    return addresses;
}

std::string hostListText(const std::vector<std::string> &addresses, int port)
{
    std::string text;
    for (size_t i = 0; i < addresses.size(); ++i)
        text += "farm" + std::to_string(i + 1) + "," + addresses[i] + "," + std::to_string(port) +
                ",N,N,0,\n";
    return text;
}

std::string hostListText(const std::vector<std::string> &addresses, const std::vector<int> &ports)
{
    std::string text;
    for (size_t i = 0; i < addresses.size() && i < ports.size(); ++i)
        text += "farm" + std::to_string(i + 1) + "," + addresses[i] + "," +
                std::to_string(ports[i]) + ",N,N,0,\r\n";
    return text;
}

long raiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return long(limit.rlim_cur);
}

Farm::Farm(FarmOptions options)
    : m_options(std::move(options)), m_random(m_options.seed)
{
    m_addresses = farmAddresses(m_options.firstAddress, m_options.hosts);
    for (size_t i = 0; i < m_addresses.size(); ++i)
        m_hosts.push_back(std::make_unique<FarmHost>(m_addresses[i], m_options.behaviour,
                                                     m_options.seed * 7919u + uint32_t(i)));
}

Farm::~Farm()
{
    for (auto &connection : m_connections)
        if (connection)
            ::close(connection->fd);
    for (int fd : m_listeners)
        ::close(fd);
    if (m_epoll >= 0)
        ::close(m_epoll);
}

void Farm::listen()
{
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epoll < 0)
        throw std::runtime_error("epoll_create1 failed: " + errnoText(errno));
    for (size_t i = 0; i < m_addresses.size(); ++i) {
        const std::string where = m_addresses[i] + ":" + std::to_string(m_options.port);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            throw std::runtime_error("cannot open a socket for " + where + ": " +
                                     errnoText(errno) + " (" + std::to_string(i) +
                                     " agents listen; raise the open file limit)");
        m_listeners.push_back(fd);
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(m_options.port));
        ::inet_pton(AF_INET, m_addresses[i].c_str(), &address.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot bind " + where + ": " + errnoText(errno));
        if (::listen(fd, 128) != 0)
            throw std::runtime_error("cannot listen on " + where + ": " + errnoText(errno));
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
        m_ports.push_back(ntohs(address.sin_port));
        if (size_t(fd) >= m_listenerHost.size())
            m_listenerHost.resize(size_t(fd) + 1, -1);
        m_listenerHost[size_t(fd)] = int(i);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
    }
}

void Farm::accept(int listener)
{
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;  // EAGAIN, or out of descriptors: the backlog waits for the next round
        ++m_counts.accepted;
        if (size_t(fd) >= m_connections.size())
            m_connections.resize(size_t(fd) + 1);
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        connection->host = m_listenerHost[size_t(listener)];
        const Clock::time_point now = Clock::now();
        connection->lastSent = now;
        if (m_options.logInterval > 0) {
            std::exponential_distribution<double> wait(1.0 / m_options.logInterval);
            connection->nextLog =
                now + std::chrono::duration_cast<Clock::duration>(
                          std::chrono::duration<double>(wait(m_random)));
        }
        m_connections[size_t(fd)] = std::move(connection);
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP;
        event.data.fd = fd;
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
    }
}

void Farm::close(Connection &connection)
{
    const int fd = connection.fd;
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    ++m_counts.closed;
    m_connections[size_t(fd)].reset();
}

void Farm::flush(Connection &connection)
{
    while (!connection.output.empty()) {
        const ssize_t n = ::send(connection.fd, connection.output.data(), connection.output.size(),
                                 MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            close(connection);
            return;
        }
        connection.output.erase(0, size_t(n));
    }
    const bool wantWrite = !connection.output.empty();
    if (wantWrite != connection.writing) {
        connection.writing = wantWrite;
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP | (wantWrite ? EPOLLOUT : 0u);
        event.data.fd = connection.fd;
        ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, connection.fd, &event);
    }
}

void Farm::send(Connection &connection, const std::string &bytes)
{
    connection.output += bytes;
    connection.lastSent = Clock::now();
    flush(connection);
}

void Farm::handle(Connection &connection)
{
    const int fd = connection.fd;
    size_t used = 0;
    while (used < connection.input.size()) {
        const std::string_view rest = std::string_view(connection.input).substr(used);
        Message message;
        const Frame frame = StreamFramer().next(rest, message);
        if (frame.incomplete())
            break;
        if (!frame.complete()) {
            ++m_counts.badMessages;
            close(connection);
            return;
        }
        used += frame.length;
        ++m_counts.requests;
        const std::string &type = message.getMessageType();
        if (type == "12") {
            ++m_counts.heartbeatsReceived;
            continue;
        }
        std::string shooting;
        if (const MessageBody *body = message.getBody())
            shooting = body->getFieldValue("ShootingType");
        const std::string bytes =
            m_hosts[size_t(connection.host)]->answer(type, message.getSequence(), shooting);
        if (bytes.empty())
            continue;
        if (type == "02")
            ++m_counts.statusAnswers;
        send(connection, bytes);
        if (!m_connections[size_t(fd)])
            return;
        if (type == "02" && m_options.dropRate > 0 &&
            std::uniform_real_distribution<double>(0, 1)(m_random) < m_options.dropRate) {
            close(connection);  // the agent goes away; the console reconnects by command
            return;
        }
    }
    connection.input.erase(0, used);
}

void Farm::readFrom(Connection &connection)
{
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::recv(connection.fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            connection.input.append(chunk, size_t(n));
            if (connection.input.size() > kMaxInput) {
                ++m_counts.badMessages;
                close(connection);
                return;
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        close(connection);  // the console closed, or the connection failed
        return;
    }
    handle(connection);
}

void Farm::timerPass(Clock::time_point now)
{
    for (auto &slot : m_connections) {
        if (!slot)
            continue;
        Connection &connection = *slot;
        const int fd = connection.fd;
        if (now - connection.lastSent >= m_options.heartbeat) {
            ++m_counts.heartbeatsSent;
            send(connection, FarmHost::heartbeat());
            if (!m_connections[size_t(fd)])
                continue;
        }
        if (m_options.logInterval > 0 && now >= connection.nextLog) {
            std::exponential_distribution<double> wait(1.0 / m_options.logInterval);
            connection.nextLog = now + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(wait(m_random)));
            ++m_counts.logMessages;
            send(connection, m_hosts[size_t(connection.host)]->logMessage(
                                 "farm agent " + m_addresses[size_t(connection.host)] +
                                 " still running"));
        }
    }
}

void Farm::run(const std::atomic<bool> &stop)
{
    if (m_epoll < 0)
        listen();
    std::vector<epoll_event> events(1024);
    Clock::time_point nextPass = Clock::now() + kTimerPass;
    while (!stop.load()) {
        const int n = ::epoll_wait(m_epoll, events.data(), int(events.size()), 100);
        if (n < 0 && errno != EINTR)
            throw std::runtime_error("epoll_wait failed: " + errnoText(errno));
        for (int i = 0; i < n; ++i) {
            const int fd = events[size_t(i)].data.fd;
            if (size_t(fd) < m_listenerHost.size() && m_listenerHost[size_t(fd)] >= 0) {
                accept(fd);
                continue;
            }
            if (size_t(fd) >= m_connections.size() || !m_connections[size_t(fd)])
                continue;
            Connection &connection = *m_connections[size_t(fd)];
            const uint32_t what = events[size_t(i)].events;
            if (what & EPOLLOUT) {
                flush(connection);
                if (!m_connections[size_t(fd)])
                    continue;
            }
            if (what & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR))
                readFrom(connection);
        }
        const Clock::time_point now = Clock::now();
        if (now >= nextPass) {
            nextPass = now + kTimerPass;
            timerPass(now);
        }
    }
}

} // namespace tarvo::farm
