// The SysLog files kept open: a stat of the path per message tells a file deleted, renamed
// or replaced by hand (its records then go to a new file at the path, as they did when every
// message opened the file), which costs far less than an open and a close in a directory of
// thousands of files.
#include "app/SysLogFiles.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo {

size_t SysLogFiles::limit() const
{
    if (fixedLimit > 0)
        return fixedLimit;
    rlimit open{};
    if (::getrlimit(RLIMIT_NOFILE, &open) != 0 || open.rlim_cur == RLIM_INFINITY)
        return 16384;
    return std::clamp<size_t>(open.rlim_cur / 4, 16, 16384);
}

bool SysLogFiles::isCurrent(const std::string &key, const std::string &path)
{
    const auto file = files.find(key);
    if (file == files.end())
        return false;
    struct stat now{};
    if (file->second.path == path && ::stat(path.c_str(), &now) == 0 &&
        now.st_dev == file->second.device && now.st_ino == file->second.inode)
        return true;
    closeFile(file);
    return false;
}

SysLogFiles::Files::iterator SysLogFiles::open(const std::string &key, const std::string &path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0)
        return files.end();
    struct stat opened{};
    ::fstat(fd, &opened);
    while (!uses.empty() && files.size() >= limit())
        closeFile(files.find(uses.back()));
    uses.push_front(key);
    return files.emplace(key, OpenFile{fd, path, opened.st_dev, opened.st_ino, uses.begin()})
        .first;
}

int SysLogFiles::append(const std::string &key, const std::string &path, std::string_view bytes)
{
    auto file = files.find(key);
    if (file != files.end() && file->second.path != path) {
        closeFile(file);
        file = files.end();
    }
    if (file == files.end()) {
        file = open(key, path);
        if (file == files.end())
            return -1;
    } else {
        uses.splice(uses.begin(), uses, file->second.use);
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(file->second.fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const int error = written < 0 ? errno : ENOSPC;
            closeFile(file);
            return error;
        }
        bytes.remove_prefix(size_t(written));
    }
    return 0;
}

void SysLogFiles::close(const std::string &key)
{
    const auto file = files.find(key);
    if (file != files.end())
        closeFile(file);
}

void SysLogFiles::closeAll()
{
    for (const auto &[key, file] : files)
        ::close(file.fd);
    files.clear();
    uses.clear();
}

void SysLogFiles::closeFile(Files::iterator file)
{
    ::close(file->second.fd);
    uses.erase(file->second.use);
    files.erase(file);
}

} // namespace tarvo
