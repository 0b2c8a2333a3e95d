// The host's counters on Linux: /proc/stat, /proc/meminfo and statvfs().
#include "platform/HostResources.h"

#include <sys/statvfs.h>

#include <fstream>
#include <iterator>

namespace tarvo {

namespace {

std::optional<std::string> readSmallFile(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

std::optional<CpuTimes> SystemHostResources::readCpuTimes()
{
    auto text = readSmallFile("/proc/stat");
    if (!text)
        return std::nullopt;
    return parseProcStat(*text);
}

std::optional<MemInfo> SystemHostResources::readMemInfo()
{
    auto text = readSmallFile("/proc/meminfo");
    if (!text)
        return std::nullopt;
    return parseMemInfo(*text);
}

std::optional<DiskSpace> SystemHostResources::readDiskSpace(const std::string &directory)
{
    struct statvfs vfs{};
    if (::statvfs(directory.c_str(), &vfs) != 0)
        return std::nullopt;
    return DiskSpace{static_cast<uint64_t>(vfs.f_blocks), static_cast<uint64_t>(vfs.f_bfree)};
}

} // namespace tarvo
