// The standard streams as byte streams, for programs that read and write protocol bytes.
#pragma once

#include <cstddef>
#include <string>

namespace tarvo {

// Puts stdin and stdout into binary mode. Windows' text mode would turn LF into CR LF and
// end the input at a byte 0x1A; Linux has only binary mode.
void useBinaryStdio();

// Makes a Windows console show the UTF-8 text the programs print (SetConsoleOutputCP);
// Linux terminals take UTF-8 as they are.
void useUtf8Terminal();

// Reads what stdin has, at most `size` bytes, waiting for at least one. Returns the count,
// 0 at the end of the input, -1 with the system's text in `error` on failure.
long readStdin(char *buffer, size_t size, std::string &error);

} // namespace tarvo
