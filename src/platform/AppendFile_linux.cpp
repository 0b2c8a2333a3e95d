#include "platform/AppendFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tarvo {

AppendFile::AppendFile(AppendFile &&other) noexcept
    : fd(std::exchange(other.fd, -1)), device(other.device), inode(other.inode)
{
}

AppendFile &AppendFile::operator=(AppendFile &&other) noexcept
{
    if (this != &other) {
        close();
        fd = std::exchange(other.fd, -1);
        device = other.device;
        inode = other.inode;
    }
    return *this;
}

bool AppendFile::open(const std::string &path)
{
    close();
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat opened{};
    ::fstat(fd, &opened);
    device = uint64_t(opened.st_dev);
    inode = uint64_t(opened.st_ino);
    return true;
}

bool AppendFile::isAt(const std::string &path) const
{
    struct stat now{};
    return fd >= 0 && ::stat(path.c_str(), &now) == 0 && uint64_t(now.st_dev) == device &&
           uint64_t(now.st_ino) == inode;
}

int AppendFile::append(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        bytes.remove_prefix(size_t(written));
    }
    return 0;
}

void AppendFile::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

size_t openFileLimit()
{
    rlimit open{};
    if (::getrlimit(RLIMIT_NOFILE, &open) != 0 || open.rlim_cur == RLIM_INFINITY)
        return 0;
    return size_t(open.rlim_cur);
}

} // namespace tarvo
