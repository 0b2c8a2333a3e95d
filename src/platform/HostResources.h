// The host's resource counters: CPU times, memory and disk space, with their pure parsers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo {

// Cumulative CPU time of all processors since boot, in clock ticks (Linux) or 100 ns units
// (Windows).
struct CpuTimes
{
    uint64_t idle = 0;  // idle + iowait
    uint64_t total = 0; // user + nice + system + idle + iowait + irq + softirq + steal
};

// Memory figures, in kB (Linux: memory) or bytes (Windows: the page file, the commit limit).
struct MemInfo
{
    uint64_t total = 0;
    uint64_t available = 0;
};

// A volume's size in blocks of one size (bytes on Windows).
struct DiskSpace
{
    uint64_t blocks = 0;
    uint64_t freeBlocks = 0; // free to anyone, including the reserved blocks
};

// Source of the counters; tests inject fakes. Every read gives nothing when the
// counter cannot be read.
class HostResources
{
public:
    virtual ~HostResources() = default;
    virtual std::optional<CpuTimes> readCpuTimes() = 0;
    virtual std::optional<MemInfo> readMemInfo() = 0;
    virtual std::optional<DiskSpace> readDiskSpace(const std::string &directory) = 0;
};

// The system's counters. Linux: /proc/stat, /proc/meminfo and statvfs(). Windows:
// GetSystemTimes (looked up in "kernel32.dll"; on Windows 2000, whose version GetVersionExA
// gives as 5.0, the idle time per processor of NtQuerySystemInformation, looked up in
// "ntdll"), GlobalMemoryStatusEx's page file and GetDiskFreeSpaceExW's total and free bytes.
class SystemHostResources : public HostResources
{
public:
    std::optional<CpuTimes> readCpuTimes() override;
    std::optional<MemInfo> readMemInfo() override;
    std::optional<DiskSpace> readDiskSpace(const std::string &directory) override;
};

// The aggregate "cpu " line of /proc/stat text (Linux).
std::optional<CpuTimes> parseProcStat(std::string_view text);
// MemTotal and MemAvailable of /proc/meminfo text (MemFree when MemAvailable is absent).
std::optional<MemInfo> parseMemInfo(std::string_view text);

// Share of non-idle time between two samples in whole percent (truncated), 0 to 100;
// 0 when no time passed or a counter went backwards (wrap or reset).
int cpuUsagePercent(const CpuTimes &previous, const CpuTimes &current);
// (total - available) x 100 / total, truncated; 0 for a zero total.
int memoryUsagePercent(const MemInfo &memory);
// (blocks - free) x 100 / blocks in integer arithmetic; 0 for an empty volume.
int diskUsagePercent(const DiskSpace &disk);

} // namespace tarvo
