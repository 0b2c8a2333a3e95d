// inet_addr of Linux's C library.
#include "platform/InetAddress.h"

#include <arpa/inet.h>

namespace tarvo {

uint32_t inetAddr(const std::string &text)
{
    return ::inet_addr(text.c_str());
}

} // namespace tarvo
