// The system's process list: one snapshot of the running processes' executable names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// One running process as the process list shows it.
struct ProcessInfo
{
    int pid = 0;
    // Linux: the kernel's process name (at most 15 bytes). Windows: the executable's file
    // name, whole ("Tarvo_ASHR.exe").
    std::string comm;
    // Linux: base name of the first command-line argument; read only when `comm` may be
    // truncated (15 bytes), else empty. Windows: the executable's file name, as `comm`.
    std::string exeName;
};

// Source of process snapshots; tests inject fakes.
class ProcessList
{
public:
    virtual ~ProcessList() = default;
    virtual std::vector<ProcessInfo> snapshot() const = 0;
};

// The system's process list. Linux: /proc/<pid>/comm of every process, and
// /proc/<pid>/cmdline of those whose name the kernel may have truncated. Windows: a
// Toolhelp snapshot (CreateToolhelp32Snapshot, Process32FirstW, Process32NextW).
class SystemProcessList : public ProcessList
{
public:
    // `procRoot`: where Linux's process tree is read (tests give a tree of their own);
    // Windows has none and ignores it.
    explicit SystemProcessList(std::string procRoot = "/proc");
    std::vector<ProcessInfo> snapshot() const override;

private:
    std::string m_procRoot;
};

// The process name in the text of /proc/<pid>/comm (the trailing line feed removed; Linux).
std::string parseComm(std::string_view commText);
// The base name of the first NUL-terminated argument of /proc/<pid>/cmdline text (Linux).
std::string parseCmdlineBaseName(std::string_view cmdlineText);

// True when the process runs the executable `exeName` (a base name), compared without
// regard to ASCII case. Linux: against its command-line base name, or against its kernel
// name, which the kernel truncates to 15 bytes. Windows: against its whole file name (in
// either member).
bool runsExecutable(const ProcessInfo &process, std::string_view exeName);

} // namespace tarvo
