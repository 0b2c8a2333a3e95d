// A TCP connection test with a bounded time-out, on the sockets of platform/Socket.h.
#include "platform/TcpProbe.h"

#include "platform/Socket.h"

namespace tarvo {

bool tcpConnectProbe(const std::string &remoteAddress, const std::string &localAddress,
                     uint16_t port, std::chrono::milliseconds timeout)
{
    if (port == 0 || localAddress.empty())
        return false;
    return connectTcp(remoteAddress, port, localAddress, timeout).ok();
}

} // namespace tarvo
