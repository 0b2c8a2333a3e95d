// A loopback port on which nobody listens, held for as long as a test needs it: a socket bound
// to ADDRESS:0 that never listens. A connection to it is refused, and no other test can listen
// there meanwhile.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace tarvo::test {

class ClosedPort
{
public:
    explicit ClosedPort(const std::string &address)
        : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        socklen_t length = sizeof a;
        if (fd >= 0 && ::inet_pton(AF_INET, address.c_str(), &a.sin_addr) == 1 &&
            ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length) == 0)
            bound = ntohs(a.sin_port);
    }
    ~ClosedPort()
    {
        if (fd >= 0)
            ::close(fd);
    }
    ClosedPort(const ClosedPort &) = delete;
    ClosedPort &operator=(const ClosedPort &) = delete;

    // 0 when the address could not be bound.
    int port() const { return bound; }

private:
    int fd;
    int bound = 0;
};

} // namespace tarvo::test
