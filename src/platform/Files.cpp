// Files and directories through std::filesystem and /proc/self/exe.
#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <limits>
#include <system_error>
#include <thread>

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

std::string replaceExtension(std::string_view path, std::string_view extension)
{
    size_t slash = path.rfind('/');
    size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string_view::npos || dot <= nameStart)
        return std::string(path) + std::string(extension);
    return std::string(path.substr(0, dot)) + std::string(extension);
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

bool readWholeFile(const std::string &path, std::string &contents)
{
    return readRegularFile(path, std::numeric_limits<size_t>::max() - 1, contents).ok();
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

FileRead refused(std::string error)
{
    return {FileRead::Status::Refused, std::move(error)};
}

} // namespace

namespace {

// What tells one version of a file from the next: its size and its modification and change
// times (a truncation changes the size, a rewrite of the same size the times).
struct FileStamp
{
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const FileStamp &other) const
    {
        auto same = [](const timespec &a, const timespec &b) {
            return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
        };
        return size == other.size && same(modified, other.modified) &&
               same(changed, other.changed);
    }
};

FileStamp stampOf(const struct stat &info)
{
    return {info.st_size, info.st_mtim, info.st_ctim};
}

// How long ago the file was modified (negative for a time ahead of the clock).
std::chrono::nanoseconds sinceModified(const FileStamp &stamp)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::chrono::seconds(now.tv_sec - stamp.modified.tv_sec) +
           std::chrono::nanoseconds(now.tv_nsec - stamp.modified.tv_nsec);
}

// One read of the file through `fd`; `before` is its stamp when the read began.
FileRead readOnce(int fd, size_t maxBytes, std::string &contents, FileStamp &before)
{
    struct stat info{};
    if (::fstat(fd, &info) != 0)
        return refused(std::string("cannot be examined: ") + std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return refused(std::string("is not a regular file (") + fileKind(info.st_mode) + ")");
    before = stampOf(info);
    auto tooLarge = [&](unsigned long long size) {
        return refused("is larger than " + std::to_string(maxBytes) + " bytes (" +
                       std::to_string(size) + " bytes)");
    };
    if (static_cast<unsigned long long>(info.st_size) > maxBytes)
        return tooLarge(static_cast<unsigned long long>(info.st_size));
    contents.reserve(static_cast<size_t>(info.st_size));
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            contents.clear();
            return refused(std::string("cannot be read: ") + std::strerror(error));
        }
        if (n == 0)
            return {};
        // The file may grow while it is read.
        if (contents.size() + size_t(n) > maxBytes) {
            const unsigned long long seen = contents.size() + size_t(n);
            contents.clear();
            contents.shrink_to_fit();
            return tooLarge(seen);
        }
        contents.append(chunk, size_t(n));
    }
}

// True when the file behind `fd` still has the stamp `read` it had when its read began,
// and, with a `quiet` time, still has it once that much time has passed since its last
// modification.
bool settled(int fd, const FileStamp &read, std::chrono::milliseconds quiet)
{
    struct stat info{};
    if (::fstat(fd, &info) != 0 || !(stampOf(info) == read))
        return false;
    if (quiet.count() <= 0)
        return true;
    const auto age = sinceModified(read);
    if (age >= quiet)
        return true;
    std::this_thread::sleep_for(quiet - std::max(age, std::chrono::nanoseconds(0)));
    return ::fstat(fd, &info) == 0 && stampOf(info) == read;
}

} // namespace

FileRead readRegularFile(const std::string &path, size_t maxBytes, std::string &contents,
                         const ReadSettling &settling)
{
    const int reads = std::max(1, settling.maxReads);
    for (int attempt = 1;; ++attempt) {
        contents.clear();
        int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == ENOENT || error == ENOTDIR)
                return {FileRead::Status::Missing, "does not exist"};
            return refused(std::string("cannot be opened: ") + std::strerror(error));
        }
        struct Closer
        {
            int fd;
            ~Closer() { ::close(fd); }
        } closer{fd};
        FileStamp before;
        FileRead read = readOnce(fd, maxBytes, contents, before);
        if (!read.ok() || settled(fd, before, settling.quiet))
            return read;
        if (attempt == reads) {
            contents.clear();
            return refused("changed while it was read " + std::to_string(reads) + " times");
        }
    }
}

} // namespace tarvo
