// A bounded TCP connection test from a chosen local address.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tarvo {

// Binds a TCP socket to `localAddress` (any port), connects to `remoteAddress`:`port`
// and closes it again. True when the connection was established within `timeout`;
// false for an address that is not dotted IPv4, a failed bind, a refusal or the time-out.
bool tcpConnectProbe(const std::string &remoteAddress, const std::string &localAddress,
                     uint16_t port, std::chrono::milliseconds timeout);

} // namespace tarvo
