// The standard streams of Windows, switched to binary mode (_setmode); reads with _read.
#include "platform/Stdio.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace tarvo {

void useBinaryStdio()
{
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
}

void useUtf8Terminal()
{
    ::SetConsoleOutputCP(CP_UTF8);
}

long readStdin(char *buffer, size_t size, std::string &error)
{
    const int got = ::_read(::_fileno(stdin), buffer, unsigned(size > INT_MAX ? INT_MAX : size));
    if (got >= 0)
        return got;
    // A pipe whose writer has gone reads as its end.
    if (errno == EPIPE)
        return 0;
    error = std::strerror(errno);
    return -1;
}

} // namespace tarvo
