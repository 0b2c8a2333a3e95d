// Replacing a file whole, so that a crash or a full disk never leaves a partial one. Linux:
// FileReplace.cpp, Windows: FileReplace_win.cpp.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo {

// The file-system calls replaceFile goes through on Linux, each as its POSIX namesake (-1 and
// errno on failure). An empty one is the system's own; tests make them fail as a full or
// read-only file system does. Windows uses the system's calls always.
struct ReplaceFileCalls
{
    std::function<int(char *pathTemplate)> createTemporary;  // mkstemp
    std::function<std::ptrdiff_t(int fd, const char *bytes, std::size_t size)> write;
    std::function<int(int fd)> sync;                          // fsync
    std::function<int(const char *from, const char *to)> rename;
};

// Replaces the file at `path` by `text` so that a crash or a full disk never leaves a partial
// file: the text goes to a temporary file "<path>.tmp-XXXXXX" in the same directory, is
// flushed to disk and renamed over the old file, and the directory is flushed (Windows:
// MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). A replaced file keeps
// its permissions (Linux). Returns the system's reason on failure; the old file is then
// untouched and the temporary file removed.
std::optional<std::string> replaceFile(const std::string &path, std::string_view text,
                                       const ReplaceFileCalls &calls = {});

// Removes the temporary files that replaceFile of `path` left in its directory when it was cut
// short (the process was killed); returns how many.
int removeStaleTemporaries(const std::string &path);

} // namespace tarvo
