// Stop and reopen requests of Linux: SIGTERM, SIGINT and SIGHUP, taken with sigwait by one
// thread while every other thread has them blocked.
#include "platform/StopRequests.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace tarvo {

struct StopRequests::State
{
    Handlers handlers;
    std::thread thread;
    std::atomic<bool> taken = false;     // the stop was handled
    std::atomic<bool> finishing = false; // finish() woke the thread
    std::mutex mutex;
    bool started = false;
    bool stopWaiting = false; // requestStop() before start()
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
    {
        std::lock_guard lock(state.mutex);
        state.handlers = std::move(handlers);
        state.started = true;
        if (state.stopWaiting && state.handlers.stop) {
            state.taken = true;
            state.handlers.stop();
            return;
        }
    }
    state.thread = std::thread([&state] {
        const sigset_t signals = handledSignals();
        for (;;) {
            int signal = 0;
            if (::sigwait(&signals, &signal) != 0)
                continue;
            if (state.finishing)
                return;
            if (signal != SIGHUP) {
                state.taken = true;
                if (state.handlers.stop)
                    state.handlers.stop();
                return;
            }
            if (state.handlers.reopenLog)
                state.handlers.reopenLog();
        }
    });
}

void StopRequests::requestStop()
{
    State &state = *m_state;
    std::lock_guard lock(state.mutex);
    if (!state.started) {
        state.stopWaiting = true;
        return;
    }
    if (!state.taken.exchange(true) && state.handlers.stop)
        state.handlers.stop();
}

void StopRequests::finish()
{
    State &state = *m_state;
    if (!state.thread.joinable())
        return;
    // Stopped by something other than a signal: the signal thread is woken to end.
    if (!state.taken) {
        state.finishing = true;
        ::pthread_kill(state.thread.native_handle(), SIGTERM);
    }
    state.thread.join();
}

} // namespace tarvo
