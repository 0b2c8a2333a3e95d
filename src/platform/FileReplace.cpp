// Replacing a file whole on Linux: mkstemp, write, fsync, rename, and fsync of the directory.
#include "platform/FileReplace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tarvo {
namespace {

const char TEMPORARY_SUFFIX[] = ".tmp-XXXXXX";

std::string directoryOf(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string errorText(int error) { return std::strerror(error); }

bool writeAll(const ReplaceFileCalls &calls, int fd, std::string_view text)
{
    size_t done = 0;
    while (done < text.size()) {
        const std::ptrdiff_t n = calls.write
                                     ? calls.write(fd, text.data() + done, text.size() - done)
                                     : ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::optional<std::string> replaceFile(const std::string &path, std::string_view text,
                                       const ReplaceFileCalls &calls)
{
    std::string temp = path + TEMPORARY_SUFFIX;
    const int fd = calls.createTemporary ? calls.createTemporary(temp.data())
                                         : ::mkstemp(temp.data());
    if (fd < 0)
        return errorText(errno);

    // Keep the permissions of the file being replaced.
    struct stat old{};
    mode_t mode = 0644;
    if (::stat(path.c_str(), &old) == 0)
        mode = old.st_mode & 07777;
    ::fchmod(fd, mode);

    if (!writeAll(calls, fd, text) || (calls.sync ? calls.sync(fd) : ::fsync(fd)) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        return errorText(error);
    }
    if (::close(fd) != 0 ||
        (calls.rename ? calls.rename(temp.c_str(), path.c_str())
                      : ::rename(temp.c_str(), path.c_str())) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return errorText(error);
    }
    const int dir = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

int removeStaleTemporaries(const std::string &path)
{
    const std::string directory = directoryOf(path);
    const size_t slash = path.find_last_of('/');
    const std::string prefix =
        (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp-";
    const size_t length = prefix.size() + sizeof TEMPORARY_SUFFIX - sizeof ".tmp-";
    DIR *dir = ::opendir(directory.c_str());
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() == length && name.substr(0, prefix.size()) == prefix &&
            ::unlink((directory + "/" + std::string(name)).c_str()) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

} // namespace tarvo
