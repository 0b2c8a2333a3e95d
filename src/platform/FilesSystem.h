// What the files' shared code (FilesCommon.cpp) asks of each system: Files.cpp (Linux) and
// Files_win.cpp (Windows) implement it.
#pragma once

#include "platform/Files.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvo::files {

// What tells one version of a file from the next: its size and its last write and change
// times in the system's units (a truncation changes the size, a rewrite of the same size the
// times).
struct FileStamp
{
    long long size = 0;
    long long written = 0;
    long long changed = 0;
    bool operator==(const FileStamp &other) const = default;
};

// How long ago the file of `stamp` was last written (negative for a time ahead of the clock).
std::chrono::nanoseconds sinceWritten(const FileStamp &stamp);

// The position of the last path separator of `path`; npos when it has none.
size_t lastSeparator(std::string_view path);

// A file opened for readRegularFile, never blocking on it; closed when the object goes.
class ReadableFile
{
public:
    ReadableFile() = default;
    ~ReadableFile();
    ReadableFile(const ReadableFile &) = delete;
    ReadableFile &operator=(const ReadableFile &) = delete;

    // Opens `path`: Ok, Missing ("does not exist") or Refused ("cannot be opened: ...").
    FileRead open(const std::string &path);
    // Refused unless the open file is a regular one ("is not a regular file (a FIFO)",
    // "cannot be examined: ..."); else Ok with its stamp in `stamp`.
    FileRead examine(FileStamp &stamp) const;
    // The file's stamp now; false when it cannot be had.
    bool stamp(FileStamp &stamp) const;
    // Reads at most `size` bytes: their number, 0 at the end, -1 with the system's text in
    // `error`.
    long long read(char *buffer, size_t size, std::string &error) const;

private:
    std::intptr_t m_handle = -1; // a descriptor (Linux), a HANDLE (Windows); -1 when none
};

inline FileRead refused(std::string error) { return {FileRead::Status::Refused, std::move(error)}; }

} // namespace tarvo::files
