// Who may talk to the agent: the ACCESS_CONTROL check. The peer's address comes as text from
// the platform's sockets (platform/Socket.h: dotted IPv4, also for an IPv4-mapped IPv6 peer).
#pragma once

#include <string>
#include <vector>

namespace tarvo {

// True when `allowed` holds `address`. An empty list admits nobody: an agent whose
// ACCESS_CONTROL names no console refuses every client (and says so in its log and in
// --check-config), so that a forgotten list never opens the host to everyone. The list
// holds normalised addresses ("10.1.2.3"), as the peer's text is.
bool isAllowed(const std::vector<std::string> &allowed, const std::string &address);

// "a, b, c" for the log; "(none)" for an empty list.
std::string describeAllowed(const std::vector<std::string> &allowed);

} // namespace tarvo
