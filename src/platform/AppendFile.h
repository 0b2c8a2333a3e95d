// A file kept open for appending that can tell whether its path still names it: a file
// deleted, renamed or replaced by hand is noticed before the next append. Linux only (the
// console's SysLog files).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvo {

class AppendFile
{
public:
    AppendFile() = default;
    ~AppendFile() { close(); }
    AppendFile(AppendFile &&other) noexcept;
    AppendFile &operator=(AppendFile &&other) noexcept;
    AppendFile(const AppendFile &) = delete;
    AppendFile &operator=(const AppendFile &) = delete;

    // Opens `path` append-only, creating it; false when it cannot be opened.
    bool open(const std::string &path);
    bool isOpen() const { return fd >= 0; }
    // True when `path` names the open file now (the same device and inode).
    bool isAt(const std::string &path) const;
    // Appends `bytes` with one write (more only after a short write): 0 when every byte was
    // written, else the errno of the failed write (ENOSPC for a write that took nothing).
    int append(std::string_view bytes);
    void close();

private:
    int fd = -1;
    uint64_t device = 0;
    uint64_t inode = 0;
};

// The process's limit of open files (its soft limit); 0 when there is none.
size_t openFileLimit();

} // namespace tarvo
