// Peer addresses and the ACCESS_CONTROL list.
#include "agent/service/AccessControl.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace tarvo {

std::string peerAddressText(const sockaddr_storage &address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(&address);
        inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        return text;
    }
    if (address.ss_family == AF_INET6) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(&address);
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
            in_addr v4{};
            std::memcpy(&v4, v6->sin6_addr.s6_addr + 12, sizeof v4);
            inet_ntop(AF_INET, &v4, text, sizeof text);
            return text;
        }
        inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        return text;
    }
    return "unknown";
}

bool isAllowed(const std::vector<std::string> &allowed, const std::string &address)
{
    return std::find(allowed.begin(), allowed.end(), address) != allowed.end();
}

std::string describeAllowed(const std::vector<std::string> &allowed)
{
    if (allowed.empty())
        return "(none)";
    std::string text;
    for (const std::string &address : allowed) {
        if (!text.empty())
            text += ", ";
        text += address;
    }
    return text;
}

} // namespace tarvo
