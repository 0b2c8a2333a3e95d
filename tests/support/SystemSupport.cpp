// What tests need of a POSIX system: mkdtemp, mkfifo, fork and exec.
#include "SystemSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace tarvo::test {

namespace fs = std::filesystem;

std::string makeTemporaryDirectory(const std::string &prefix)
{
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    const char *made = ::mkdtemp(pattern.data());
    return made ? made : "";
}

void removeTree(const std::string &path)
{
    std::error_code ec;
    fs::remove_all(path, ec);
}

bool fifosExist() { return true; }

bool makeFifo(const std::string &path)
{
    ::unlink(path.c_str());
    return ::mkfifo(path.c_str(), 0600) == 0;
}

int currentProcessId() { return int(::getpid()); }

bool stopRequestsReachChildren() { return true; }

ChildProcess::ChildProcess(const std::string &executable, const std::vector<std::string> &args,
                           const std::string &dir, const std::string &outputFile,
                           const std::string &inputFile)
{
    m_pid = ::fork();
    if (m_pid != 0)
        return;
    if (!dir.empty() && ::chdir(dir.c_str()) != 0)
        ::_exit(126);
    int out = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
    }
    if (!inputFile.empty()) {
        int in = ::open(inputFile.c_str(), O_RDONLY);
        if (in >= 0)
            ::dup2(in, 0);
    }
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(executable.c_str()));
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(executable.c_str(), argv.data());
    ::_exit(127);
}

ChildProcess::~ChildProcess() { kill(); }

bool ChildProcess::running() const
{
    return m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == 0;
}

namespace {

int exitCodeOf(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

int ChildProcess::wait()
{
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return exitCodeOf(status);
}

int ChildProcess::kill(Stop how)
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, how == Stop::Kill ? SIGKILL : SIGTERM);
    return wait();
}

int runProgram(const std::string &executable, const std::vector<std::string> &args,
               const std::string &dir, std::string &output, const std::string &inputFile)
{
    const std::string outputFile =
        (fs::temp_directory_path() / ("tarvo-test-out-" + std::to_string(::getpid()))).string();
    int code = 0;
    {
        ChildProcess child(executable, args, dir, outputFile, inputFile);
        code = child.wait();
    }
    std::ifstream in(outputFile, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    output = text.str();
    std::error_code ec;
    fs::remove(outputFile, ec);
    return code;
}

} // namespace tarvo::test
