// The host list file "TarvoMonitor.CFG": one line per host, every field followed by a comma.
#pragma once

#include "host/HostSubject.h"
#include "host/HostSubjectPool.h"

#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// name,ip,port,A-flag,B-flag,n,oesName1,operatorNumber1,...,  (no line break)
std::string formatHostLine(const Host &host);
// Every host of the pool in pool order, each line ended by CR LF.
std::string formatHostList(const HostSubjectPool &pool);

// True when formatHostList(pool) would give exactly `text`; builds nothing.
bool hostListEquals(const HostSubjectPool &pool, std::string_view text);

// The records of a host list text. Line breaks (CR and LF) are dropped wherever they occur;
// a record cut by the end of the text is dropped; a PBU count takes its leading digits
// (0 without any). Duplicates are kept; the pool drops them when they are added.
std::vector<std::unique_ptr<HostSubject>> parseHostList(std::string_view text);

// Offers every record of the file to the pool; returns how many the pool took.
// A file that cannot be read leaves the pool as it was.
int loadHostList(const std::string &path, HostSubjectPool &pool);

// The file-system calls a save goes through, each as its POSIX namesake (-1 and errno on
// failure). An empty one is the system's own; tests make them fail as a full or read-only
// file system does.
struct HostListFileCalls
{
    std::function<int(char *pathTemplate)> createTemporary;  // mkstemp
    std::function<ssize_t(int fd, const char *bytes, size_t size)> write;
    std::function<int(int fd)> sync;                          // fsync
    std::function<int(const char *from, const char *to)> rename;
};

// Writes the list so that a crash or a full disk never leaves a partial file: the text goes
// to a temporary file in the same directory, is flushed to disk and renamed over the old
// file. Returns the reason on failure; the old file is then untouched.
std::optional<std::string> saveHostList(const std::string &path, const HostSubjectPool &pool,
                                        const HostListFileCalls &calls = {});

// Removes the temporary files that saves of `path` cut short (the process was killed) left
// in its directory; returns how many.
int removeStaleTemporaries(const std::string &path);

// Saves the list at every save point and reports a failure once, not at every attempt:
// save() returns the error line to show when a save fails after the previous one succeeded
// (or on the first failure). A save whose bytes equal the last saved ones, while the file is
// still the one it wrote, is skipped.
class HostListStore
{
public:
    struct FileStamp
    {
        ino_t inode;
        off_t size;
        time_t seconds;
        long nanoseconds;
        friend bool operator==(const FileStamp &, const FileStamp &) = default;
    };

    // Clears what earlier saves of `path` that were cut short left behind.
    explicit HostListStore(std::string path, HostListFileCalls calls = {});

    std::optional<std::string> save(const HostSubjectPool &pool);
    const std::string &path() const { return filePath; }
    bool failing() const { return failed; }

private:
    std::string filePath;
    HostListFileCalls calls;
    bool failed = false;
    std::string lastText;
    std::optional<FileStamp> lastStamp;
};

} // namespace tarvo
