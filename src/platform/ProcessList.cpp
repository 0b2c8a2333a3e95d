// The process list from /proc, and matching a process against an executable name.
#include "platform/ProcessList.h"

#include "platform/IniFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>

namespace tarvo {

namespace {

// Small files of /proc: one read() is enough and avoids stream overhead.
bool readProcFile(int dirFd, const std::string &path, std::string &out)
{
    int fd = ::openat(dirFd, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[4096];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n < 0)
        return false;
    out.assign(buffer, static_cast<size_t>(n));
    return true;
}

constexpr size_t COMM_LIMIT = 15;

bool isPidName(const char *name)
{
    if (*name == '\0')
        return false;
    for (; *name; ++name) {
        if (!std::isdigit(static_cast<unsigned char>(*name)))
            return false;
    }
    return true;
}

} // namespace

SystemProcessList::SystemProcessList(std::string procRoot) : m_procRoot(std::move(procRoot)) {}

std::vector<ProcessInfo> SystemProcessList::snapshot() const
{
    std::vector<ProcessInfo> result;
    DIR *dir = ::opendir(m_procRoot.c_str());
    if (!dir)
        return result;
    const int rootFd = ::dirfd(dir);
    std::string text;
    std::string path;
    while (dirent *entry = ::readdir(dir)) {
        if (!isPidName(entry->d_name))
            continue;
        // Paths relative to the open /proc spare the kernel a lookup of the root each time.
        path = entry->d_name;
        const size_t baseLength = path.size();
        path += "/comm";
        // A process may end between readdir() and the reads: skip it then.
        if (!readProcFile(rootFd, path, text))
            continue;
        ProcessInfo info;
        info.pid = std::atoi(entry->d_name);
        info.comm = parseComm(text);
        // The kernel keeps 15 bytes of the name: only then is the full name needed, and
        // cmdline is by far the dearer read (it touches the process's memory).
        path.resize(baseLength);
        path += "/cmdline";
        if (info.comm.size() >= COMM_LIMIT && readProcFile(rootFd, path, text))
            info.exeName = parseCmdlineBaseName(text);
        result.push_back(std::move(info));
    }
    ::closedir(dir);
    return result;
}

std::string parseComm(std::string_view commText)
{
    while (!commText.empty() && (commText.back() == '\n' || commText.back() == '\0'))
        commText.remove_suffix(1);
    return std::string(commText);
}

std::string parseCmdlineBaseName(std::string_view cmdlineText)
{
    std::string_view first = cmdlineText.substr(0, cmdlineText.find('\0'));
    size_t slash = first.rfind('/');
    if (slash != std::string_view::npos)
        first.remove_prefix(slash + 1);
    return std::string(first);
}

bool runsExecutable(const ProcessInfo &process, std::string_view exeName)
{
    if (exeName.empty())
        return false;
    if (equalsIgnoreCase(process.exeName, exeName))
        return true;
    return equalsIgnoreCase(process.comm, exeName.substr(0, COMM_LIMIT));
}

} // namespace tarvo
