// The process list of Windows: one Toolhelp snapshot, names whole.
#include "platform/ProcessList.h"

#include "platform/IniFile.h"
#include "platform/WinText.h"

#include <windows.h>
#include <tlhelp32.h>

namespace tarvo {

SystemProcessList::SystemProcessList(std::string procRoot) : m_procRoot(std::move(procRoot)) {}

std::vector<ProcessInfo> SystemProcessList::snapshot() const
{
    std::vector<ProcessInfo> result;
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return result;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
         more = ::Process32NextW(snapshot, &entry)) {
        ProcessInfo info;
        info.pid = int(entry.th32ProcessID);
        info.comm = win::narrow(entry.szExeFile);
        info.exeName = info.comm;
        result.push_back(std::move(info));
    }
    ::CloseHandle(snapshot);
    return result;
}

bool runsExecutable(const ProcessInfo &process, std::string_view exeName)
{
    return !exeName.empty() &&
           (equalsIgnoreCase(process.exeName, exeName) || equalsIgnoreCase(process.comm, exeName));
}

} // namespace tarvo
