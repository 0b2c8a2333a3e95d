// Stop and reopen requests of Linux: SIGTERM, SIGINT and SIGHUP, taken with sigwait by one
// thread while every other thread has them blocked.
#include "platform/StopRequests.h"

#include "platform/StopLatch.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

namespace tarvo {

struct StopRequests::State
{
    StopLatch latch;
    std::thread thread;
    std::atomic<bool> finishing = false; // finish() woke the thread
};

namespace {

sigset_t handledSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    return signals;
}

} // namespace

void StopRequests::prepareProcess()
{
    ::signal(SIGPIPE, SIG_IGN);
    // Blocked before any thread starts, so that every thread inherits the mask.
    const sigset_t signals = handledSignals();
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

StopRequests::StopRequests() : m_state(std::make_unique<State>()) {}

StopRequests::~StopRequests()
{
    finish();
}

void StopRequests::start(Handlers handlers)
{
    State &state = *m_state;
    if (state.latch.start(std::move(handlers)) && state.latch.handlers().stop) {
        state.latch.request();
        return;
    }
    state.thread = std::thread([&state] {
        const sigset_t signals = handledSignals();
        for (;;) {
            int signal = 0;
            if (::sigwait(&signals, &signal) != 0)
                continue;
            if (state.finishing)
                return;
            const Handlers &handlers = state.latch.handlers();
            if (signal != SIGHUP) {
                state.latch.markTaken();
                if (handlers.stop)
                    handlers.stop();
                return;
            }
            if (handlers.reopenLog)
                handlers.reopenLog();
        }
    });
}

void StopRequests::requestStop()
{
    m_state->latch.request();
}

void StopRequests::finish()
{
    State &state = *m_state;
    if (!state.thread.joinable())
        return;
    // Stopped by something other than a signal: the signal thread is woken to end.
    if (!state.latch.taken()) {
        state.finishing = true;
        ::pthread_kill(state.thread.native_handle(), SIGTERM);
    }
    state.thread.join();
}

} // namespace tarvo
