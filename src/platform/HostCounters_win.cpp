// The host's counters on Windows: CPU times by the method the system's version allows,
// the page file (commit limit) and the volume's space.
#include "platform/HostResources.h"

#include "platform/WinText.h"

#include <windows.h>

#include <cstring>

namespace tarvo {
namespace {

struct Version
{
    DWORD major = 0;
    DWORD minor = 0;
};

// GetVersionExA with the extended structure (156 bytes), then the basic one (148 bytes).
// Without a manifest that names them, Windows 8.1 and later report themselves as 6.2.
Version systemVersion()
{
    OSVERSIONINFOEXA extended{};
    extended.dwOSVersionInfoSize = sizeof extended;
    static_assert(sizeof(OSVERSIONINFOEXA) == 156 && sizeof(OSVERSIONINFOA) == 148);
    if (::GetVersionExA(reinterpret_cast<OSVERSIONINFOA *>(&extended)))
        return {extended.dwMajorVersion, extended.dwMinorVersion};
    OSVERSIONINFOA basic{};
    basic.dwOSVersionInfoSize = sizeof basic;
    if (::GetVersionExA(&basic))
        return {basic.dwMajorVersion, basic.dwMinorVersion};
    return {};
}

uint64_t ticksOf(const FILETIME &time)
{
    return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

uint64_t read64(const unsigned char *at)
{
    uint64_t value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Idle, kernel and user times of all processors; kernel time includes idle time.
std::optional<CpuTimes> systemTimes()
{
    using GetSystemTimesFn = BOOL(WINAPI *)(LPFILETIME, LPFILETIME, LPFILETIME);
    static const auto getSystemTimes = reinterpret_cast<GetSystemTimesFn>(reinterpret_cast<void *>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetSystemTimes")));
    FILETIME idle{}, kernel{}, user{};
    if (!getSystemTimes || !getSystemTimes(&idle, &kernel, &user))
        return std::nullopt;
    return CpuTimes{ticksOf(idle), ticksOf(kernel) + ticksOf(user)};
}

// Windows 2000: the idle time of all processors (performance information, class 2) against
// the time since boot (time of day information, class 3) times the number of processors
// (basic information, class 0), so that the share of non-idle time is that of GetSystemTimes.
std::optional<CpuTimes> perProcessorTimes()
{
    using QueryFn = LONG(WINAPI *)(int, void *, ULONG, ULONG *);
    static const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void *>(
        ::GetProcAddress(::GetModuleHandleA("ntdll"), "NtQuerySystemInformation")));
    if (!query)
        return std::nullopt;
    unsigned char basic[44] = {}, timeOfDay[32] = {}, performance[312] = {};
    if (query(0, basic, sizeof basic, nullptr) != 0 ||
        query(3, timeOfDay, sizeof timeOfDay, nullptr) != 0 ||
        query(2, performance, sizeof performance, nullptr) != 0)
        return std::nullopt;
    const unsigned processors = basic[40];
    const uint64_t boot = read64(timeOfDay);
    const uint64_t now = read64(timeOfDay + 8);
    if (processors == 0 || now < boot)
        return std::nullopt;
    return CpuTimes{read64(performance), (now - boot) * processors};
}

} // namespace

std::optional<CpuTimes> SystemHostResources::readCpuTimes()
{
    static const Version version = systemVersion();
    if (version.major == 5 && version.minor == 0)
        return perProcessorTimes();
    if (version.major >= 5)
        return systemTimes();
    return std::nullopt;
}

std::optional<MemInfo> SystemHostResources::readMemInfo()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!::GlobalMemoryStatusEx(&status))
        return std::nullopt;
    return MemInfo{status.ullTotalPageFile, status.ullAvailPageFile};
}

std::optional<DiskSpace> SystemHostResources::readDiskSpace(const std::string &directory)
{
    ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
    if (!::GetDiskFreeSpaceExW(win::widen(directory).c_str(), &freeToCaller, &total, &totalFree))
        return std::nullopt;
    return DiskSpace{total.QuadPart, totalFree.QuadPart};
}

} // namespace tarvo
