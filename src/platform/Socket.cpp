// TCP sockets of Linux: BSD sockets, poll(2) and an eventfd as the wake-up.
#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarvo {
namespace {

// "111 Connection refused".
std::string errnoText(int error)
{
    return std::to_string(error) + " " + std::strerror(error);
}

int fdOf(SocketHandle handle) { return static_cast<int>(handle); }
SocketHandle handleOf(int fd) { return fd < 0 ? NO_SOCKET : static_cast<SocketHandle>(fd); }

bool toIpv4(const std::string &text, uint16_t port, sockaddr_in &address)
{
    address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    return ::inet_pton(AF_INET, text.c_str(), &address.sin_addr) == 1;
}

std::string peerText(const sockaddr_storage &address)
{
    if (address.ss_family == AF_INET) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(&address);
        return ipAddressText({reinterpret_cast<const char *>(&v4->sin_addr), 4});
    }
    if (address.ss_family == AF_INET6) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(&address);
        return ipAddressText({reinterpret_cast<const char *>(&v6->sin6_addr), 16});
    }
    return "unknown";
}

} // namespace

Socket &Socket::operator=(Socket &&other) noexcept
{
    if (this != &other) {
        close();
        m_handle = other.release();
    }
    return *this;
}

SocketHandle Socket::release()
{
    const SocketHandle handle = m_handle;
    m_handle = NO_SOCKET;
    return handle;
}

void Socket::close()
{
    if (valid())
        ::close(fdOf(release()));
}

SocketIo Socket::receive(char *buffer, size_t size)
{
    for (;;) {
        const ssize_t n = ::recv(fdOf(m_handle), buffer, size, 0);
        if (n > 0)
            return {SocketIo::Status::Done, size_t(n), {}};
        if (n == 0)
            return {SocketIo::Status::Closed, 0, {}};
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {SocketIo::Status::WouldBlock, 0, {}};
        return {SocketIo::Status::Failed, 0, errnoText(errno)};
    }
}

SocketIo Socket::send(const char *data, size_t size)
{
    for (;;) {
        const ssize_t n = ::send(fdOf(m_handle), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0)
            return {SocketIo::Status::Done, size_t(n), {}};
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {SocketIo::Status::WouldBlock, 0, {}};
        return {SocketIo::Status::Failed, 0, errnoText(errno)};
    }
}

void Socket::shutdownBoth()
{
    ::shutdown(fdOf(m_handle), SHUT_RDWR);
}

void Socket::setNoDelay()
{
    int on = 1;
    ::setsockopt(fdOf(m_handle), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

int Socket::localPort() const
{
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(fdOf(m_handle), reinterpret_cast<sockaddr *>(&bound), &length) != 0)
        return 0;
    return ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in *>(&bound)->sin_port
                                            : reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port);
}

Listening listenTcp(const std::string &bindAddress, int port, int backlog)
{
    Listening result;
    sockaddr_storage address{};
    socklen_t length = 0;
    int family = AF_INET6;
    if (bindAddress.empty()) {
        auto *v6 = reinterpret_cast<sockaddr_in6 *>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_addr = in6addr_any;
        v6->sin6_port = htons(uint16_t(port));
        length = sizeof(sockaddr_in6);
    } else {
        addrinfo hints{};
        hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        int rc = ::getaddrinfo(bindAddress.c_str(), std::to_string(port).c_str(), &hints, &found);
        if (rc != 0 || !found) {
            result.failure = Listening::Failure::NotNumeric;
            result.error = ::gai_strerror(rc);
            return result;
        }
        std::memcpy(&address, found->ai_addr, found->ai_addrlen);
        length = found->ai_addrlen;
        family = found->ai_family;
        ::freeaddrinfo(found);
    }

    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 && bindAddress.empty()) {
        // No IPv6 on this host: listen on every IPv4 address instead.
        address = {};
        auto *v4 = reinterpret_cast<sockaddr_in *>(&address);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_ANY);
        v4->sin_port = htons(uint16_t(port));
        length = sizeof(sockaddr_in);
        family = AF_INET;
        fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    }
    if (fd < 0) {
        result.failure = Listening::Failure::Create;
        result.error = errnoText(errno);
        return result;
    }
    Socket socket(handleOf(fd));
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (family == AF_INET6 && bindAddress.empty()) {
        int off = 0;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    }
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0) {
        result.failure = Listening::Failure::Bind;
        result.error = errnoText(errno);
        return result;
    }
    if (::listen(fd, backlog) != 0) {
        result.failure = Listening::Failure::Listen;
        result.error = errnoText(errno);
        return result;
    }
    result.port = socket.localPort();
    result.socket = std::move(socket);
    return result;
}

Accepted acceptConnection(const Socket &listening)
{
    Accepted result;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(fdOf(listening.handle()), reinterpret_cast<sockaddr *>(&peer), &length,
                             SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        result.error = errnoText(error);
        result.status = error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM
                            ? Accepted::Status::OutOfResources
                            : Accepted::Status::Failed;
        return result;
    }
    result.status = Accepted::Status::Accepted;
    result.socket = Socket(handleOf(fd));
    result.peer = peerText(peer);
    return result;
}

Connected connectTcp(const std::string &remoteAddress, uint16_t port,
                     const std::string &localAddress, std::chrono::milliseconds timeout)
{
    Connected result;
    sockaddr_in remote{}, local{};
    if (!toIpv4(remoteAddress, port, remote) ||
        (!localAddress.empty() && !toIpv4(localAddress, 0, local))) {
        result.error = "not a dotted IPv4 address";
        return result;
    }
    Socket socket(handleOf(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)));
    if (!socket.valid()) {
        result.error = errnoText(errno);
        return result;
    }
    const int fd = fdOf(socket.handle());
    if (!localAddress.empty() && ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        result.error = errnoText(errno);
        return result;
    }
    if (::connect(fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote) != 0) {
        if (errno != EINPROGRESS) {
            result.error = errnoText(errno);
            return result;
        }
        pollfd pfd{fd, POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&pfd, 1, static_cast<int>(timeout.count()));
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0) {
            result.error = ready == 0 ? "timed out" : errnoText(errno);
            return result;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        if (error != 0) {
            result.error = errnoText(error);
            return result;
        }
    }
    result.socket = std::move(socket);
    return result;
}

std::string ipAddressText(std::string_view bytes)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (bytes.size() == 4) {
        inet_ntop(AF_INET, bytes.data(), text, sizeof text);
        return text;
    }
    if (bytes.size() != 16)
        return "unknown";
    in6_addr v6{};
    std::memcpy(&v6, bytes.data(), sizeof v6);
    if (IN6_IS_ADDR_V4MAPPED(&v6))
        return ipAddressText(bytes.substr(12));
    inet_ntop(AF_INET6, &v6, text, sizeof text);
    return text;
}

WakeUp::WakeUp()
{
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0)
        m_error = errnoText(errno);
    m_handle = handleOf(fd);
}

WakeUp::~WakeUp()
{
    if (ok())
        ::close(fdOf(m_handle));
}

void WakeUp::signal() const
{
    uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(fdOf(m_handle), &one, sizeof one);
}

void WakeUp::clear() const
{
    uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(fdOf(m_handle), &count, sizeof count);
}

int pollSockets(PollEntry *entries, size_t count, int timeoutMs, std::string &error)
{
    constexpr size_t MAX_ENTRIES = 8;
    pollfd fds[MAX_ENTRIES];
    if (count > MAX_ENTRIES) {
        error = "too many sockets to wait for";
        return -1;
    }
    for (size_t i = 0; i < count; ++i) {
        const unsigned wanted = entries[i].wanted;
        fds[i] = {fdOf(entries[i].handle),
                  short(((wanted & POLL_READABLE) ? POLLIN : 0) |
                        ((wanted & POLL_WRITABLE) ? POLLOUT : 0)),
                  0};
    }
    const int ready = ::poll(fds, nfds_t(count), timeoutMs);
    if (ready < 0) {
        if (errno == EINTR)
            return 0;
        error = errnoText(errno);
        return -1;
    }
    for (size_t i = 0; i < count; ++i) {
        const short r = fds[i].revents;
        entries[i].ready = ((r & POLLIN) ? POLL_READABLE : 0u) |
                           ((r & POLLOUT) ? POLL_WRITABLE : 0u) |
                           ((r & (POLLHUP | POLLERR | POLLNVAL)) ? POLL_HANGUP : 0u);
    }
    return ready;
}

} // namespace tarvo
