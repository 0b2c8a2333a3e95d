// TCP sockets of Linux: BSD sockets, poll(2) and an eventfd as the wake-up. What both systems
// share is in SocketCommon.cpp.
#include "platform/SocketSystem.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarvo {

using namespace sockets;

namespace sockets {

int startSockets() { return 0; }

int lastError() { return errno; }

std::string errorText(int code)
{
    return std::to_string(code) + " " + std::strerror(code);
}

std::string resolverText(int code) { return ::gai_strerror(code); }

SocketHandle newSocket(int family, int type, bool nonBlocking)
{
    return handleOf(::socket(family, type | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0));
}

void holdPort(SocketHandle listening)
{
    const int on = 1;
    ::setsockopt(native(listening), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

bool connectPending(int code) { return code == EINPROGRESS || code == EALREADY; }

bool interrupted(int code) { return code == EINTR; }

bool wouldBlock(int code) { return code == EAGAIN || code == EWOULDBLOCK; }

long long receiveSome(SocketHandle socket, char *buffer, size_t size)
{
    return ::recv(native(socket), buffer, size, 0);
}

long long sendSome(SocketHandle socket, const char *data, size_t size)
{
    return ::send(native(socket), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
}

std::string awaitConnection(const Socket &socket, std::chrono::milliseconds timeout)
{
    pollfd pfd{native(socket.handle()), POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&pfd, 1, static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return ready == 0 ? "timed out" : errorText(errno);
    const int code = connectResult(socket);
    return code == 0 ? std::string() : errorText(code);
}

} // namespace sockets

void Socket::close()
{
    if (valid())
        ::close(native(release()));
}

void Socket::shutdownBoth()
{
    ::shutdown(native(m_handle), SHUT_RDWR);
}

Accepted acceptConnection(const Socket &listening)
{
    Accepted result;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(native(listening.handle()), reinterpret_cast<sockaddr *>(&peer), &length,
                             SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        result.error = errorText(error);
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

WakeUp::WakeUp()
{
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0)
        m_error = errorText(errno);
    m_handle = handleOf(fd);
}

WakeUp::~WakeUp()
{
    if (ok())
        ::close(native(m_handle));
}

void WakeUp::signal() const
{
    uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(native(m_handle), &one, sizeof one);
}

void WakeUp::clear() const
{
    uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(native(m_handle), &count, sizeof count);
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
        fds[i] = {native(entries[i].handle),
                  short(((wanted & POLL_READABLE) ? POLLIN : 0) |
                        ((wanted & POLL_WRITABLE) ? POLLOUT : 0)),
                  0};
    }
    const int ready = ::poll(fds, nfds_t(count), timeoutMs);
    if (ready < 0) {
        if (errno == EINTR)
            return 0;
        error = errorText(errno);
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
