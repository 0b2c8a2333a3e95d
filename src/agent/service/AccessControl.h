// Who may talk to the agent: the peer's address as text and the ACCESS_CONTROL check.
#pragma once

#include <string>
#include <vector>

#include <sys/socket.h>

namespace tarvo {

// The peer address as dotted IPv4 text; an IPv4-mapped IPv6 address ("::ffff:a.b.c.d")
// counts as its IPv4 address; other IPv6 addresses in their usual text form.
std::string peerAddressText(const sockaddr_storage &address);

// True when `allowed` is empty (every client is accepted) or holds `address`. The list
// holds normalised addresses ("10.1.2.3"); the peer's text is normalised the same way.
bool isAllowed(const std::vector<std::string> &allowed, const std::string &address);

// "a, b, c" for the log; "(none)" for an empty list.
std::string describeAllowed(const std::vector<std::string> &allowed);

} // namespace tarvo
