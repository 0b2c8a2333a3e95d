// TCP sockets of Windows: Winsock 2.2 (started on first use, for the life of the process),
// WSAPoll, and a datagram socket on the loopback that sends to itself as the wake-up. What
// both systems share is in SocketCommon.cpp.
#include "platform/SocketSystem.h"

#include "platform/WinText.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace tarvo {

using namespace sockets;

namespace {

bool setNonBlocking(SOCKET s)
{
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0;
}

} // namespace

namespace sockets {

int startSockets()
{
    static std::once_flag once;
    static int code = 0;
    std::call_once(once, [] {
        WSADATA data{};
        code = ::WSAStartup(MAKEWORD(2, 2), &data);
    });
    return code;
}

int lastError() { return ::WSAGetLastError(); }

std::string errorText(int code) { return win::errorText(static_cast<unsigned long>(code)); }

std::string resolverText(int code) { return errorText(code); }

SocketHandle newSocket(int family, int type, bool nonBlocking)
{
    const int protocol = type == SOCK_DGRAM ? IPPROTO_UDP : IPPROTO_TCP;
    // Not inherited by child processes (as SOCK_CLOEXEC on Linux).
    SOCKET s = ::WSASocketW(family, type, protocol, nullptr, 0,
                            WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL)
        s = ::WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s == INVALID_SOCKET)
        return NO_SOCKET;
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    if (nonBlocking && !setNonBlocking(s)) {
        const int code = ::WSAGetLastError();
        ::closesocket(s);
        ::WSASetLastError(code);
        return NO_SOCKET;
    }
    return handleOf(s);
}

void holdPort(SocketHandle listening)
{
    // Without it another process could bind the same port with SO_REUSEADDR and take over
    // the console's connections.
    BOOL on = TRUE;
    ::setsockopt(native(listening), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                 reinterpret_cast<const char *>(&on), sizeof on);
}

bool connectPending(int code)
{
    return code == WSAEWOULDBLOCK || code == WSAEINPROGRESS || code == WSAEALREADY;
}

bool interrupted(int code) { return code == WSAEINTR; }

bool wouldBlock(int code) { return code == WSAEWOULDBLOCK; }

long long receiveSome(SocketHandle socket, char *buffer, size_t size)
{
    return ::recv(native(socket), buffer, int(std::min<size_t>(size, 1 << 30)), 0);
}

long long sendSome(SocketHandle socket, const char *data, size_t size)
{
    return ::send(native(socket), data, int(std::min<size_t>(size, 1 << 30)), 0);
}

std::string awaitConnection(const Socket &socket, std::chrono::milliseconds timeout)
{
    // select, not WSAPoll: WSAPoll does not report a refused connection on every version of
    // Windows; select puts it among the exceptions.
    const SOCKET s = native(socket.handle());
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    const long long ms = std::max<long long>(0, timeout.count());
    timeval limit{long(ms / 1000), long(ms % 1000 * 1000)};
    const int ready = ::select(0, nullptr, &writable, &failed, &limit);
    if (ready <= 0)
        return ready == 0 ? "timed out" : errorText(::WSAGetLastError());
    if (FD_ISSET(s, &failed) || !FD_ISSET(s, &writable)) {
        const int code = connectResult(socket);
        return errorText(code > 0 ? code : WSAECONNREFUSED);
    }
    return {};
}

} // namespace sockets

void Socket::close()
{
    if (valid())
        ::closesocket(native(release()));
}

void Socket::shutdownBoth()
{
    ::shutdown(native(m_handle), SD_BOTH);
}

Accepted acceptConnection(const Socket &listening)
{
    Accepted result;
    sockaddr_storage peer{};
    int length = sizeof peer;
    const SOCKET s = ::accept(native(listening.handle()), reinterpret_cast<sockaddr *>(&peer), &length);
    if (s == INVALID_SOCKET) {
        const int error = ::WSAGetLastError();
        result.error = errorText(error);
        result.status = error == WSAEMFILE || error == WSAENOBUFS ? Accepted::Status::OutOfResources
                                                                  : Accepted::Status::Failed;
        return result;
    }
    Socket socket(handleOf(s));
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    if (!setNonBlocking(s)) {
        result.error = errorText(::WSAGetLastError());
        return result;
    }
    result.status = Accepted::Status::Accepted;
    result.socket = std::move(socket);
    result.peer = peerText(peer);
    return result;
}

WakeUp::WakeUp()
{
    if (const int code = startSockets(); code != 0) {
        m_error = "Winsock cannot be started: " + errorText(code);
        return;
    }
    // A datagram socket connected to itself: each signal is a datagram, and the socket is
    // readable while one waits.
    Socket socket(newSocket(AF_INET, SOCK_DGRAM, true));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    const SOCKET s = native(socket.handle());
    if (!socket.valid() || ::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) != 0 ||
        ::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        m_error = errorText(::WSAGetLastError());
        return;
    }
    m_handle = socket.release();
}

WakeUp::~WakeUp()
{
    if (ok())
        ::closesocket(native(m_handle));
}

void WakeUp::signal() const
{
    const char one = 1;
    ::send(native(m_handle), &one, 1, 0);
}

void WakeUp::clear() const
{
    char chunk[64];
    while (::recv(native(m_handle), chunk, sizeof chunk, 0) > 0) {
    }
}

int pollSockets(PollEntry *entries, size_t count, int timeoutMs, std::string &error)
{
    constexpr size_t MAX_ENTRIES = 8;
    WSAPOLLFD fds[MAX_ENTRIES];
    if (count > MAX_ENTRIES) {
        error = "too many sockets to wait for";
        return -1;
    }
    for (size_t i = 0; i < count; ++i) {
        const unsigned wanted = entries[i].wanted;
        fds[i] = {native(entries[i].handle),
                  short(((wanted & POLL_READABLE) ? POLLRDNORM : 0) |
                        ((wanted & POLL_WRITABLE) ? POLLWRNORM : 0)),
                  0};
    }
    const int ready = ::WSAPoll(fds, ULONG(count), timeoutMs < 0 ? -1 : timeoutMs);
    if (ready == SOCKET_ERROR) {
        const int code = ::WSAGetLastError();
        if (code == WSAEINTR)
            return 0;
        error = errorText(code);
        return -1;
    }
    for (size_t i = 0; i < count; ++i) {
        const short r = fds[i].revents;
        entries[i].ready = ((r & POLLRDNORM) ? POLL_READABLE : 0u) |
                           ((r & POLLWRNORM) ? POLL_WRITABLE : 0u) |
                           ((r & (POLLHUP | POLLERR | POLLNVAL)) ? POLL_HANGUP : 0u);
    }
    return ready;
}

} // namespace tarvo
