// inet_addr of Winsock (which needs no WSAStartup).
#include "platform/InetAddress.h"

#include <winsock2.h>

namespace tarvo {

uint32_t inetAddr(const std::string &text)
{
    return ::inet_addr(text.c_str());
}

} // namespace tarvo
