// What tests need of Windows: scratch directories, child processes with CreateProcessW.
#include "SystemSupport.h"

#include "platform/WinText.h"

#include <windows.h>

#include <filesystem>
#include <atomic>
#include <fstream>
#include <random>
#include <sstream>

namespace tarvo::test {

namespace fs = std::filesystem;

namespace {

std::wstring temporaryFolder()
{
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    return std::wstring(buffer, n);
}

HANDLE inheritable(HANDLE handle)
{
    if (handle != INVALID_HANDLE_VALUE)
        ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return handle;
}

} // namespace

std::string makeTemporaryDirectory(const std::string &prefix)
{
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring path = temporaryFolder() + win::widen(prefix) + L"-" +
                                  std::to_wstring(random() % 1000000000u);
        if (::CreateDirectoryW(path.c_str(), nullptr))
            return win::narrow(path);
    }
    return {};
}

void removeTree(const std::string &path)
{
    std::error_code ec;
    fs::remove_all(fs::path(win::widen(path)), ec);
}

bool fifosExist() { return false; }

bool makeFifo(const std::string &) { return false; }

int currentProcessId() { return int(::GetCurrentProcessId()); }

bool stopRequestsReachChildren() { return ::GetConsoleCP() != 0; }

ChildProcess::ChildProcess(const std::string &executable, const std::vector<std::string> &args,
                           const std::string &dir, const std::string &outputFile,
                           const std::string &inputFile)
{
    std::wstring commandLine = win::commandLine(executable, args);
    SECURITY_ATTRIBUTES shared{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out = ::CreateFileW(win::widen(outputFile).c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &shared,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE in = ::CreateFileW(inputFile.empty() ? L"NUL" : win::widen(inputFile).c_str(),
                              GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &shared,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable(in);
    startup.hStdOutput = inheritable(out);
    startup.hStdError = out;
    PROCESS_INFORMATION process{};
    const std::wstring directory = win::widen(dir);
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                         CREATE_NEW_PROCESS_GROUP, nullptr,
                         directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
        ::CloseHandle(process.hThread);
        m_process = process.hProcess;
        m_pid = int(process.dwProcessId);
    }
    if (out != INVALID_HANDLE_VALUE)
        ::CloseHandle(out);
    if (in != INVALID_HANDLE_VALUE)
        ::CloseHandle(in);
}

ChildProcess::~ChildProcess() { kill(); }

bool ChildProcess::running() const
{
    return m_process && ::WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

int ChildProcess::wait()
{
    if (!m_process)
        return -1;
    ::WaitForSingleObject(m_process, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(m_process, &code);
    ::CloseHandle(m_process);
    m_process = nullptr;
    m_pid = -1;
    return int(code);
}

int ChildProcess::kill(Stop how)
{
    if (!m_process)
        return -1;
    // Ctrl+Break reaches the child's process group (it was started as one) on the console
    // both share; it has 10 s to stop.
    if (how == Stop::Terminate && running() &&
        ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, DWORD(m_pid)) &&
        ::WaitForSingleObject(m_process, 10000) == WAIT_OBJECT_0)
        return wait();
    if (running()) {
        ::TerminateProcess(m_process, 1);
        wait();
        return -1;
    }
    return wait();
}

int runProgram(const std::string &executable, const std::vector<std::string> &args,
               const std::string &dir, std::string &output, const std::string &inputFile)
{
    // A file of its own per run: the last run's file may still be on its way out (a file
    // deleted while a handle to it closes is gone only a moment later, and cannot be made
    // anew until then).
    static std::atomic<unsigned> runs{0};
    const std::string outputFile = win::narrow(temporaryFolder()) + "tarvo-test-out-" +
                                   std::to_string(currentProcessId()) + "-" +
                                   std::to_string(runs++);
    int code = 0;
    {
        ChildProcess child(executable, args, dir, outputFile, inputFile);
        code = child.wait();
    }
    std::ifstream in(fs::path(win::widen(outputFile)), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    // Text written in Windows' text mode ends its lines in CR LF: read as LF, as on Linux.
    output.clear();
    for (char c : text.str())
        if (c != '\r')
            output += c;
    in.close();
    ::DeleteFileW(win::widen(outputFile).c_str());
    return code;
}

} // namespace tarvo::test
