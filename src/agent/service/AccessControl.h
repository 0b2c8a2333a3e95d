// Who may talk to the agent: the peer's address as text and the ACCESS_CONTROL check.
#pragma once

#include <string>
#include <vector>

#include <sys/socket.h>

namespace tarvo {

// The peer address as dotted IPv4 text; an IPv4-mapped IPv6 address ("::ffff:a.b.c.d")
// counts as its IPv4 address; other IPv6 addresses in their usual text form.
std::string peerAddressText(const sockaddr_storage &address);

// True when `allowed` holds `address`. An empty list admits nobody: an agent whose
// ACCESS_CONTROL names no console refuses every client (and says so in its log and in
// --check-config), so that a forgotten list never opens the host to everyone. The list
// holds normalised addresses ("10.1.2.3"), as the peer's text is.
bool isAllowed(const std::vector<std::string> &allowed, const std::string &address);

// "a, b, c" for the log; "(none)" for an empty list.
std::string describeAllowed(const std::vector<std::string> &allowed);

} // namespace tarvo
