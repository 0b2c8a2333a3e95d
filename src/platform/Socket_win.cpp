// TCP sockets of Windows: Winsock 2.2 (started on first use, for the life of the process),
// WSAPoll, and a datagram socket on the loopback that sends to itself as the wake-up.
#include "platform/Socket.h"

#include "platform/WinText.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace tarvo {
namespace {

SOCKET sockOf(SocketHandle handle) { return static_cast<SOCKET>(handle); }
SocketHandle handleOf(SOCKET s) { return s == INVALID_SOCKET ? NO_SOCKET : SocketHandle(s); }

std::string winsockText(int code) { return win::errorText(static_cast<unsigned long>(code)); }
std::string lastWinsockText() { return winsockText(::WSAGetLastError()); }

// Empty when Winsock runs, else why it does not.
const std::string &startWinsock()
{
    static std::once_flag once;
    static std::string error;
    std::call_once(once, [] {
        WSADATA data{};
        const int rc = ::WSAStartup(MAKEWORD(2, 2), &data);
        if (rc != 0)
            error = "Winsock cannot be started: " + winsockText(rc);
    });
    return error;
}

// A socket that child processes do not inherit (as SOCK_CLOEXEC on Linux).
SOCKET newSocket(int family, int type, int protocol)
{
    SOCKET s = ::WSASocketW(family, type, protocol, nullptr, 0,
                            WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL)
        s = ::WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s != INVALID_SOCKET)
        ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return s;
}

bool setNonBlocking(SOCKET s)
{
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0;
}

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
        ::closesocket(sockOf(release()));
}

SocketIo Socket::receive(char *buffer, size_t size)
{
    for (;;) {
        const int n = ::recv(sockOf(m_handle), buffer, int(std::min<size_t>(size, 1 << 30)), 0);
        if (n > 0)
            return {SocketIo::Status::Done, size_t(n), {}};
        if (n == 0)
            return {SocketIo::Status::Closed, 0, {}};
        const int error = ::WSAGetLastError();
        if (error == WSAEINTR)
            continue;
        if (error == WSAEWOULDBLOCK)
            return {SocketIo::Status::WouldBlock, 0, {}};
        return {SocketIo::Status::Failed, 0, winsockText(error)};
    }
}

SocketIo Socket::send(const char *data, size_t size)
{
    for (;;) {
        const int n = ::send(sockOf(m_handle), data, int(std::min<size_t>(size, 1 << 30)), 0);
        if (n >= 0)
            return {SocketIo::Status::Done, size_t(n), {}};
        const int error = ::WSAGetLastError();
        if (error == WSAEINTR)
            continue;
        if (error == WSAEWOULDBLOCK)
            return {SocketIo::Status::WouldBlock, 0, {}};
        return {SocketIo::Status::Failed, 0, winsockText(error)};
    }
}

void Socket::shutdownBoth()
{
    ::shutdown(sockOf(m_handle), SD_BOTH);
}

void Socket::setNoDelay()
{
    BOOL on = TRUE;
    ::setsockopt(sockOf(m_handle), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on),
                 sizeof on);
}

int Socket::localPort() const
{
    sockaddr_storage bound{};
    int length = sizeof bound;
    if (::getsockname(sockOf(m_handle), reinterpret_cast<sockaddr *>(&bound), &length) != 0)
        return 0;
    return ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in *>(&bound)->sin_port
                                            : reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port);
}

Listening listenTcp(const std::string &bindAddress, int port, int backlog)
{
    Listening result;
    if (const std::string &error = startWinsock(); !error.empty()) {
        result.failure = Listening::Failure::Create;
        result.error = error;
        return result;
    }
    sockaddr_storage address{};
    int length = 0;
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
        const int rc = ::getaddrinfo(bindAddress.c_str(), std::to_string(port).c_str(), &hints, &found);
        if (rc != 0 || !found) {
            result.failure = Listening::Failure::NotNumeric;
            result.error = winsockText(rc);
            return result;
        }
        std::memcpy(&address, found->ai_addr, found->ai_addrlen);
        length = int(found->ai_addrlen);
        family = found->ai_family;
        ::freeaddrinfo(found);
    }

    SOCKET s = newSocket(family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET && bindAddress.empty()) {
        // No IPv6 on this host: listen on every IPv4 address instead.
        address = {};
        auto *v4 = reinterpret_cast<sockaddr_in *>(&address);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_ANY);
        v4->sin_port = htons(uint16_t(port));
        length = sizeof(sockaddr_in);
        family = AF_INET;
        s = newSocket(family, SOCK_STREAM, IPPROTO_TCP);
    }
    if (s == INVALID_SOCKET) {
        result.failure = Listening::Failure::Create;
        result.error = lastWinsockText();
        return result;
    }
    Socket socket(handleOf(s));
    // Without it another process could bind the same port with SO_REUSEADDR and take over
    // the console's connections.
    BOOL on = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&on), sizeof on);
    if (family == AF_INET6 && bindAddress.empty()) {
        DWORD off = 0;
        ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char *>(&off), sizeof off);
    }
    if (::bind(s, reinterpret_cast<sockaddr *>(&address), length) != 0) {
        result.failure = Listening::Failure::Bind;
        result.error = lastWinsockText();
        return result;
    }
    if (::listen(s, backlog) != 0) {
        result.failure = Listening::Failure::Listen;
        result.error = lastWinsockText();
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
    int length = sizeof peer;
    const SOCKET s = ::accept(sockOf(listening.handle()), reinterpret_cast<sockaddr *>(&peer), &length);
    if (s == INVALID_SOCKET) {
        const int error = ::WSAGetLastError();
        result.error = winsockText(error);
        result.status = error == WSAEMFILE || error == WSAENOBUFS ? Accepted::Status::OutOfResources
                                                                  : Accepted::Status::Failed;
        return result;
    }
    Socket socket(handleOf(s));
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    if (!setNonBlocking(s)) {
        result.error = lastWinsockText();
        return result;
    }
    result.status = Accepted::Status::Accepted;
    result.socket = std::move(socket);
    result.peer = peerText(peer);
    return result;
}

Connected connectTcp(const std::string &remoteAddress, uint16_t port,
                     const std::string &localAddress, std::chrono::milliseconds timeout)
{
    Connected result;
    if (const std::string &error = startWinsock(); !error.empty()) {
        result.error = error;
        return result;
    }
    sockaddr_in remote{}, local{};
    if (!toIpv4(remoteAddress, port, remote) ||
        (!localAddress.empty() && !toIpv4(localAddress, 0, local))) {
        result.error = "not a dotted IPv4 address";
        return result;
    }
    Socket socket(handleOf(newSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP)));
    if (!socket.valid()) {
        result.error = lastWinsockText();
        return result;
    }
    const SOCKET s = sockOf(socket.handle());
    if (!localAddress.empty() && ::bind(s, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        result.error = lastWinsockText();
        return result;
    }
    if (!setNonBlocking(s)) {
        result.error = lastWinsockText();
        return result;
    }
    if (::connect(s, reinterpret_cast<sockaddr *>(&remote), sizeof remote) != 0) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK) {
            result.error = lastWinsockText();
            return result;
        }
        // select, not WSAPoll: WSAPoll does not report a refused connection on every version
        // of Windows; select puts it among the exceptions.
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        const long long ms = std::max<long long>(0, timeout.count());
        timeval limit{long(ms / 1000), long(ms % 1000 * 1000)};
        const int ready = ::select(0, nullptr, &writable, &failed, &limit);
        if (ready <= 0) {
            result.error = ready == 0 ? "timed out" : lastWinsockText();
            return result;
        }
        if (FD_ISSET(s, &failed) || !FD_ISSET(s, &writable)) {
            int error = 0;
            int length = sizeof error;
            ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &length);
            result.error = winsockText(error != 0 ? error : WSAECONNREFUSED);
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
        ::inet_ntop(AF_INET, bytes.data(), text, sizeof text);
        return text;
    }
    if (bytes.size() != 16)
        return "unknown";
    static const char mappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '\xff', '\xff'};
    if (std::memcmp(bytes.data(), mappedPrefix, sizeof mappedPrefix) == 0)
        return ipAddressText(bytes.substr(12));
    in6_addr v6{};
    std::memcpy(&v6, bytes.data(), sizeof v6);
    ::inet_ntop(AF_INET6, &v6, text, sizeof text);
    return text;
}

WakeUp::WakeUp()
{
    if (const std::string &error = startWinsock(); !error.empty()) {
        m_error = error;
        return;
    }
    // A datagram socket connected to itself: each signal is a datagram, and the socket is
    // readable while one waits.
    Socket socket(handleOf(newSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    const SOCKET s = sockOf(socket.handle());
    if (!socket.valid() || ::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) != 0 ||
        ::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        !setNonBlocking(s)) {
        m_error = lastWinsockText();
        return;
    }
    m_handle = socket.release();
}

WakeUp::~WakeUp()
{
    if (ok())
        ::closesocket(sockOf(m_handle));
}

void WakeUp::signal() const
{
    const char one = 1;
    ::send(sockOf(m_handle), &one, 1, 0);
}

void WakeUp::clear() const
{
    char chunk[64];
    while (::recv(sockOf(m_handle), chunk, sizeof chunk, 0) > 0) {
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
        fds[i] = {sockOf(entries[i].handle),
                  short(((wanted & POLL_READABLE) ? POLLRDNORM : 0) |
                        ((wanted & POLL_WRITABLE) ? POLLWRNORM : 0)),
                  0};
    }
    const int ready = ::WSAPoll(fds, ULONG(count), timeoutMs < 0 ? -1 : timeoutMs);
    if (ready == SOCKET_ERROR) {
        const int code = ::WSAGetLastError();
        if (code == WSAEINTR)
            return 0;
        error = winsockText(code);
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
