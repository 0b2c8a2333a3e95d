// Files and directories of Linux through std::filesystem, POSIX calls and /proc/self/exe.
// What both systems share is in FilesCommon.cpp.
#include "platform/FilesSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace tarvo {

namespace fs = std::filesystem;

const char PATH_SEPARATOR = '/';

std::string nativePath(std::string_view path)
{
    return std::string(path);
}

bool fileExists(const std::string &path)
{
    std::error_code ec;
    return !path.empty() && fs::exists(path, ec);
}

bool directoryExists(const std::string &path)
{
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

bool createDirectories(const std::string &path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    fs::create_directories(path, ec);
    return directoryExists(path);
}

std::string currentDirectory()
{
    std::error_code ec;
    std::string dir = fs::current_path(ec).string();
    if (ec)
        return {};
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir;
}

bool changeDirectory(const std::string &path, std::string &error)
{
    if (::chdir(path.c_str()) == 0)
        return true;
    error = std::strerror(errno);
    return false;
}

std::string absolutePath(const std::string &path)
{
    return fs::absolute(path).string();
}

std::string executablePath()
{
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

std::string parentDirectory(std::string_view path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    if (slash == 0)
        return "/";
    return std::string(path.substr(0, slash));
}

bool canCreateDirectories(const std::string &path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    fs::path at = fs::absolute(path, ec).lexically_normal();
    if (ec)
        return false;
    // "a/logs/" names "a/logs".
    if (at.filename().empty() && at != at.root_path())
        at = at.parent_path();
    for (;;) {
        fs::file_status status = fs::status(at, ec);
        if (fs::exists(status))
            return fs::is_directory(status) && ::access(at.c_str(), W_OK | X_OK) == 0;
        if (at == at.root_path() || !at.has_parent_path())
            return false;
        at = at.parent_path();
    }
}

namespace {

const char *fileKind(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "of an unknown kind";
}

} // namespace

namespace files {

size_t lastSeparator(std::string_view path) { return path.rfind('/'); }

namespace {

int fdOf(std::intptr_t handle) { return static_cast<int>(handle); }

long long nanosecondsOf(const timespec &time)
{
    return static_cast<long long>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

FileStamp stampOf(const struct stat &info)
{
    return {static_cast<long long>(info.st_size), nanosecondsOf(info.st_mtim),
            nanosecondsOf(info.st_ctim)};
}

} // namespace

std::chrono::nanoseconds sinceWritten(const FileStamp &stamp)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::chrono::nanoseconds(nanosecondsOf(now) - stamp.written);
}

ReadableFile::~ReadableFile()
{
    if (m_handle >= 0)
        ::close(fdOf(m_handle));
}

FileRead ReadableFile::open(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return {FileRead::Status::Missing, "does not exist"};
        return refused(std::string("cannot be opened: ") + std::strerror(error));
    }
    m_handle = fd;
    return {};
}

FileRead ReadableFile::examine(FileStamp &stamp) const
{
    struct stat info{};
    if (::fstat(fdOf(m_handle), &info) != 0)
        return refused(std::string("cannot be examined: ") + std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return refused(std::string("is not a regular file (") + fileKind(info.st_mode) + ")");
    stamp = stampOf(info);
    return {};
}

bool ReadableFile::stamp(FileStamp &stamp) const
{
    struct stat info{};
    if (::fstat(fdOf(m_handle), &info) != 0)
        return false;
    stamp = stampOf(info);
    return true;
}

long long ReadableFile::read(char *buffer, size_t size, std::string &error) const
{
    for (;;) {
        const ssize_t n = ::read(fdOf(m_handle), buffer, size);
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            error = std::strerror(errno);
            return -1;
        }
    }
}

} // namespace files

} // namespace tarvo
