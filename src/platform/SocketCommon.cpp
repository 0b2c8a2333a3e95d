// What the sockets of both systems share: owning a socket, reads and writes, listening,
// starting and making connections, and the text of addresses. Each system's own calls are in
// Socket.cpp (Linux) and Socket_win.cpp (Windows), behind platform/SocketSystem.h.
#include "platform/SocketSystem.h"

#include <cstring>

namespace tarvo {

using namespace sockets;

namespace {

// The socket address of a numeric IPv4 or IPv6 text; false for any other text.
bool toAddress(const std::string &text, uint16_t port, sockaddr_storage &address,
               AddressLength &length)
{
    address = {};
    auto *v4 = reinterpret_cast<sockaddr_in *>(&address);
    if (::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        length = sizeof(sockaddr_in);
        return true;
    }
    address = {};
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&address);
    if (::inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) != 1)
        return false;
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    length = sizeof(sockaddr_in6);
    return true;
}

bool isDottedIpv4(const std::string &text)
{
    in_addr address{};
    return ::inet_pton(AF_INET, text.c_str(), &address) == 1;
}

// Every IPv6 address, or (`v4`) every IPv4 address, at `port`.
AddressLength anyAddress(bool v4, int port, sockaddr_storage &address)
{
    address = {};
    if (v4) {
        auto *any = reinterpret_cast<sockaddr_in *>(&address);
        any->sin_family = AF_INET;
        any->sin_addr.s_addr = htonl(INADDR_ANY);
        any->sin_port = htons(uint16_t(port));
        return sizeof(sockaddr_in);
    }
    auto *any = reinterpret_cast<sockaddr_in6 *>(&address);
    any->sin6_family = AF_INET6;
    any->sin6_addr = in6addr_any;
    any->sin6_port = htons(uint16_t(port));
    return sizeof(sockaddr_in6);
}

// What a read or a write that failed with `code` gives; nothing when a signal broke into it,
// and it is repeated.
std::optional<SocketIo> failure(int code)
{
    if (interrupted(code))
        return std::nullopt;
    if (wouldBlock(code))
        return SocketIo{SocketIo::Status::WouldBlock, 0, {}};
    return SocketIo{SocketIo::Status::Failed, 0, errorText(code)};
}

Listening listenFailure(Listening::Failure failure, int code)
{
    Listening result;
    result.failure = failure;
    result.errorNumber = code;
    result.error = errorText(code);
    return result;
}

} // namespace

namespace sockets {

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

} // namespace sockets

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

SocketIo Socket::receive(char *buffer, size_t size)
{
    for (;;) {
        const long long n = receiveSome(m_handle, buffer, size);
        if (n > 0)
            return {SocketIo::Status::Done, size_t(n), {}};
        if (n == 0)
            return {SocketIo::Status::Closed, 0, {}};
        if (const std::optional<SocketIo> failed = failure(lastError()))
            return *failed;
    }
}

SocketIo Socket::send(const char *data, size_t size)
{
    for (;;) {
        const long long n = sendSome(m_handle, data, size);
        if (n >= 0)
            return {SocketIo::Status::Done, size_t(n), {}};
        if (const std::optional<SocketIo> failed = failure(lastError()))
            return *failed;
    }
}

void Socket::setNoDelay()
{
    const int on = 1;
    ::setsockopt(native(m_handle), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on),
                 sizeof on);
}

int Socket::localPort() const
{
    sockaddr_storage bound{};
    AddressLength length = sizeof bound;
    if (::getsockname(native(m_handle), reinterpret_cast<sockaddr *>(&bound), &length) != 0)
        return 0;
    return ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in *>(&bound)->sin_port
                                            : reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port);
}

Listening listenTcp(const std::string &bindAddress, int port, int backlog)
{
    if (const int code = startSockets(); code != 0) {
        Listening result = listenFailure(Listening::Failure::Create, code);
        result.error = "Winsock cannot be started: " + result.error; // only Windows has to
        return result;
    }
    sockaddr_storage address{};
    AddressLength length = anyAddress(false, port, address);
    int family = AF_INET6;
    if (!bindAddress.empty()) {
        addrinfo hints{};
        hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        const int rc = ::getaddrinfo(bindAddress.c_str(), std::to_string(port).c_str(), &hints, &found);
        if (rc != 0 || !found) {
            Listening result;
            result.failure = Listening::Failure::NotNumeric;
            result.error = resolverText(rc);
            return result;
        }
        std::memcpy(&address, found->ai_addr, found->ai_addrlen);
        length = AddressLength(found->ai_addrlen);
        family = found->ai_family;
        ::freeaddrinfo(found);
    }

    Socket socket(newSocket(family, SOCK_STREAM, false));
    if (!socket.valid() && bindAddress.empty()) {
        // No IPv6 on this host: listen on every IPv4 address instead.
        length = anyAddress(true, port, address);
        family = AF_INET;
        socket = Socket(newSocket(family, SOCK_STREAM, false));
    }
    if (!socket.valid())
        return listenFailure(Listening::Failure::Create, lastError());
    const NativeSocket s = native(socket.handle());
    holdPort(socket.handle());
    if (family == AF_INET6 && bindAddress.empty()) {
        const int off = 0;
        ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char *>(&off), sizeof off);
    }
    if (::bind(s, reinterpret_cast<sockaddr *>(&address), length) != 0)
        return listenFailure(Listening::Failure::Bind, lastError());
    if (::listen(s, backlog) != 0)
        return listenFailure(Listening::Failure::Listen, lastError());
    Listening result;
    result.port = socket.localPort();
    result.socket = std::move(socket);
    return result;
}

Connecting startConnecting(const std::string &remoteAddress, uint16_t port,
                           const std::string &localAddress)
{
    Connecting result;
    sockaddr_storage remote{}, local{};
    AddressLength remoteLength = 0, localLength = 0;
    if (!toAddress(remoteAddress, port, remote, remoteLength) ||
        (!localAddress.empty() && !toAddress(localAddress, 0, local, localLength))) {
        result.error = NOT_AN_ADDRESS;
        return result;
    }
    if (const int code = startSockets(); code != 0) {
        result.error = code;
        return result;
    }
    Socket socket(newSocket(remote.ss_family, SOCK_STREAM, true));
    if (!socket.valid()) {
        result.error = lastError();
        return result;
    }
    socket.setNoDelay();
    const NativeSocket s = native(socket.handle());
    if ((!localAddress.empty() && ::bind(s, reinterpret_cast<sockaddr *>(&local), localLength) != 0) ||
        (::connect(s, reinterpret_cast<sockaddr *>(&remote), remoteLength) != 0 &&
         !connectPending(lastError()))) {
        result.error = lastError();
        return result;
    }
    result.socket = std::move(socket);
    return result;
}

int connectResult(const Socket &socket)
{
    int code = 0;
    AddressLength length = sizeof code;
    if (::getsockopt(native(socket.handle()), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&code),
                     &length) != 0)
        code = lastError();
    return connectPending(code) ? CONNECT_PENDING : code;
}

std::optional<std::string> ipv4AddressOf(const std::string &host)
{
    if (isDottedIpv4(host))
        return host;
    if (startSockets() != 0)
        return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    const auto *address = reinterpret_cast<const sockaddr_in *>(found->ai_addr);
    std::string text = ipAddressText({reinterpret_cast<const char *>(&address->sin_addr), 4});
    ::freeaddrinfo(found);
    return text;
}

Connected connectTcp(const std::string &remoteAddress, uint16_t port,
                     const std::string &localAddress, std::chrono::milliseconds timeout)
{
    Connected result;
    if (const int code = startSockets(); code != 0) {
        result.error = "Winsock cannot be started: " + errorText(code); // only Windows has to
        return result;
    }
    if (!isDottedIpv4(remoteAddress) || (!localAddress.empty() && !isDottedIpv4(localAddress))) {
        result.error = "not a dotted IPv4 address";
        return result;
    }
    Connecting connecting = startConnecting(remoteAddress, port, localAddress);
    if (!connecting.socket.valid()) {
        result.error = errorText(connecting.error);
        return result;
    }
    result.error = awaitConnection(connecting.socket, timeout);
    if (result.error.empty())
        result.socket = std::move(connecting.socket);
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
    // An IPv4-mapped address, "::ffff:a.b.c.d".
    static const char mappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '\xff', '\xff'};
    if (std::memcmp(bytes.data(), mappedPrefix, sizeof mappedPrefix) == 0)
        return ipAddressText(bytes.substr(12));
    in6_addr v6{};
    std::memcpy(&v6, bytes.data(), sizeof v6);
    ::inet_ntop(AF_INET6, &v6, text, sizeof text);
    return text;
}

} // namespace tarvo
