// Dotted IPv4 text as the sockets library's inet_addr reads it.
#pragma once

#include <cstdint>
#include <string>

namespace tarvo {

// The value inet_addr gives for a text it cannot read (and for "255.255.255.255").
inline constexpr uint32_t INET_ADDR_NONE = 0xFFFFFFFFu;

// inet_addr of the system's sockets library: the address in network byte order, or
// INET_ADDR_NONE.
uint32_t inetAddr(const std::string &text);

} // namespace tarvo
