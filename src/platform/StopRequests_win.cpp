// Stop requests of Windows: the console's control events (SetConsoleCtrlHandler), taken on
// the thread the system starts for them, and the service manager's stop (requestStop).
#include "platform/StopRequests.h"

#include "platform/StopLatch.h"

#include <windows.h>

#include <atomic>

namespace tarvo {

struct StopRequests::State
{
    StopLatch latch;
    HANDLE finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

namespace {

// The console's handler is a plain function: it reaches the one State through this.
std::atomic<StopRequests *> current = nullptr;
// Set by finish(): the program has stopped.
std::atomic<HANDLE> finishedEvent = nullptr;

// How long a console that is being closed, or a system that shuts down, may wait for the
// program to stop cleanly: the system ends the process at 5 seconds.
constexpr DWORD CLOSE_WAIT_MS = 4500;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    StopRequests *requests = current.load();
    // Logoff reaches services too, which go on running.
    if (!requests || event == CTRL_LOGOFF_EVENT)
        return FALSE;
    requests->requestStop();
    // For these the process ends when the handler returns.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_SHUTDOWN_EVENT)
        ::WaitForSingleObject(finishedEvent.load(), CLOSE_WAIT_MS);
    return TRUE;
}

} // namespace

void StopRequests::prepareProcess()
{
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
}

StopRequests::StopRequests() : m_state(std::make_unique<State>()) {}

StopRequests::~StopRequests()
{
    finish();
    if (m_state->finished)
        ::CloseHandle(m_state->finished);
}

void StopRequests::start(Handlers handlers)
{
    State &state = *m_state;
    const bool stopNow = state.latch.start(std::move(handlers));
    finishedEvent = state.finished;
    current = this;
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    if (stopNow)
        requestStop();
}

void StopRequests::requestStop()
{
    m_state->latch.request();
}

void StopRequests::finish()
{
    StopRequests *self = this;
    if (!current.compare_exchange_strong(self, nullptr))
        return;
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    ::SetEvent(m_state->finished);
}

} // namespace tarvo
