// The standard streams of Linux: always binary; reads with read(2).
#include "platform/Stdio.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarvo {

void useBinaryStdio() {}

void useUtf8Terminal() {}

long readStdin(char *buffer, size_t size, std::string &error)
{
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, size);
        if (got >= 0)
            return long(got);
        if (errno == EINTR)
            continue;
        error = std::strerror(errno);
        return -1;
    }
}

} // namespace tarvo
