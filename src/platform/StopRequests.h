// How the system asks a running program to stop, and to reopen its log file. Linux: SIGTERM
// and SIGINT stop, SIGHUP reopens (logrotate). Windows: Ctrl+C, Ctrl+Break, closing the
// console window and the system's shutdown stop; the service control manager's stop comes
// through requestStop (platform/SystemService.h).
#pragma once

#include <functional>
#include <memory>

namespace tarvo {

class StopRequests
{
public:
    struct Handlers
    {
        std::function<void()> stop;      // once; then no more requests are taken
        std::function<void()> reopenLog; // as often as asked (Linux)
    };

    // Call first in main, before any thread starts. Linux: the signals are blocked in every
    // thread (and taken by the thread of start() with sigwait, so that their handling may do
    // what a signal handler may not), and SIGPIPE is ignored. Windows: a crash ends the
    // process without an error dialog that nobody would answer.
    static void prepareProcess();

    StopRequests();
    ~StopRequests();
    StopRequests(const StopRequests &) = delete;
    StopRequests &operator=(const StopRequests &) = delete;

    // Starts taking the requests; the handlers run on a thread of their own.
    void start(Handlers handlers);
    // A stop asked for by someone other than the system's signals (the service manager).
    // One that comes before start() is handled at start().
    void requestStop();
    // Ends the taking (when the program stops for another reason) and waits for it. A
    // Windows console that is being closed waits for this before the process ends.
    void finish();

    struct State;

private:
    std::unique_ptr<State> m_state;
};

} // namespace tarvo
