// What tests need of the system beyond the platform layer: scratch directories, FIFOs, child
// processes. One implementation per system: SystemSupport.cpp (POSIX), SystemSupport_win.cpp.
#pragma once

#include <string>
#include <vector>

namespace tarvo::test {

// A new, empty directory under the system's temporary folder, named after `prefix`; its path
// uses the system's separator, without a trailing one. Empty when it cannot be made.
std::string makeTemporaryDirectory(const std::string &prefix);

// Removes `path` with everything in it; quiet when it is not there.
void removeTree(const std::string &path);

// FIFOs exist on Linux only; makeFifo creates one at `path` there and fails elsewhere.
bool fifosExist();
bool makeFifo(const std::string &path);

// This process's id.
int currentProcessId();

// True when ChildProcess::kill(Stop::Terminate) asks the child to stop rather than killing
// it: always on Linux (SIGTERM); on Windows when this process has a console, which the
// child shares and through which Ctrl+Break reaches it (wine without a terminal has none).
bool stopRequestsReachChildren();

// A child process started in `dir` with stdout and stderr going to `outputFile` (and stdin
// read from `inputFile` when it is given); killed when the object goes.
class ChildProcess
{
public:
    ChildProcess(const std::string &executable, const std::vector<std::string> &args,
                 const std::string &dir, const std::string &outputFile,
                 const std::string &inputFile = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    int pid() const { return m_pid; }
    bool running() const;

    // How kill() ends the child: at once (SIGKILL, TerminateProcess), or asked to stop as
    // an operator would (SIGTERM; Ctrl+Break on Windows, then TerminateProcess when the
    // child has not stopped within 10 s).
    enum class Stop { Kill, Terminate };

    // Waits for the child to end by itself: its exit code, -1 when a signal ended it.
    int wait();
    // Ends the child and waits for it: its exit code as wait() gives it (-1 when it is gone).
    int kill(Stop how = Stop::Kill);

private:
    int m_pid = -1;
    void *m_process = nullptr; // Windows: the process handle
};

// Runs a program to its end; its exit code, with its stdout and stderr in `output` (on
// Windows without the CR of its text mode's line ends).
int runProgram(const std::string &executable, const std::vector<std::string> &args,
               const std::string &dir, std::string &output, const std::string &inputFile = {});

} // namespace tarvo::test

// Skips the test where FIFOs do not exist (Windows): what it checks has no meaning there.
#define TARVO_SKIP_WITHOUT_FIFOS()                                                               \
    if (!::tarvo::test::fifosExist())                                                            \
    GTEST_SKIP() << "no FIFOs on this system"
