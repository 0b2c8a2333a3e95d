// The SysLog files kept open between an agent's log messages: one append-only descriptor per
// host, reopened when its path changes (a new day) or no longer names the open file (deleted,
// renamed or replaced by hand), and closed for the least recently used host beyond a bound.
#pragma once

#include "platform/AppendFile.h"

#include <cstddef>
#include <list>
#include <map>
#include <string>
#include <string_view>

namespace tarvo {

class SysLogFiles
{
public:
    // `limit`: the most files kept open at once; 0 takes a quarter of the process's open
    // file limit at the time of each open (at least 16, at most 16384).
    explicit SysLogFiles(size_t limit = 0) : fixedLimit(limit) {}
    ~SysLogFiles() { closeAll(); }
    SysLogFiles(const SysLogFiles &) = delete;
    SysLogFiles &operator=(const SysLogFiles &) = delete;

    // True when `key`'s open file is the one at `path` now; otherwise closes it (if any), so
    // that the next append opens `path` afresh.
    bool isCurrent(const std::string &key, const std::string &path);
    // Appends `bytes` with one write(2) (more only after a short write) to `key`'s file at
    // `path`, opened (created, append-only) when it is not open. Returns 0 when every byte
    // was written, -1 when the file cannot be opened, else the errno of the failed write
    // (the file is closed then and opened again for the next append).
    int append(const std::string &key, const std::string &path, std::string_view bytes);
    // Closes `key`'s file if it is open (its host disconnected or went).
    void close(const std::string &key);
    void closeAll();
    size_t openCount() const { return files.size(); }

private:
    struct OpenFile
    {
        AppendFile file;
        std::string path;
        std::list<std::string>::iterator use;
    };
    using Files = std::map<std::string, OpenFile, std::less<>>;

    size_t limit() const;
    Files::iterator open(const std::string &key, const std::string &path);
    void closeFile(Files::iterator file);

    size_t fixedLimit;
    Files files;
    // Keys of the open files, the most recently used at the front.
    std::list<std::string> uses;
};

} // namespace tarvo
