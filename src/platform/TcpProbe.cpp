// A TCP connection test with a bounded time-out: non-blocking connect and poll().
#include "platform/TcpProbe.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tarvo {

namespace {

bool toAddress(const std::string &text, uint16_t port, sockaddr_in &address)
{
    address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    return ::inet_pton(AF_INET, text.c_str(), &address.sin_addr) == 1;
}

struct SocketGuard
{
    int fd;
    ~SocketGuard()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

bool tcpConnectProbe(const std::string &remoteAddress, const std::string &localAddress,
                     uint16_t port, std::chrono::milliseconds timeout)
{
    sockaddr_in remote{}, local{};
    if (port == 0 || !toAddress(remoteAddress, port, remote) || !toAddress(localAddress, 0, local))
        return false;
    SocketGuard sock{::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    if (sock.fd < 0)
        return false;
    if (::bind(sock.fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0)
        return false;
    if (::connect(sock.fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    pollfd pfd{sock.fd, POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&pfd, 1, static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(sock.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return false;
    return error == 0;
}

} // namespace tarvo
