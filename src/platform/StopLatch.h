// What the stop requests of both systems share: the handlers, and a stop that is handled once,
// or kept until start() when it comes before. StopRequests.cpp (Linux) and
// StopRequests_win.cpp (Windows) hold one each.
#pragma once

#include "platform/StopRequests.h"

#include <atomic>
#include <mutex>

namespace tarvo {

class StopLatch
{
public:
    // Takes the handlers (once, at StopRequests::start); true when a stop asked for before
    // is due now.
    bool start(StopRequests::Handlers handlers);
    // Runs the stop handler unless the stop was handled already; before start(), keeps the
    // request for it.
    void request();
    // Marks the stop as handled by the caller itself (a signal that it handles).
    void markTaken() { m_taken = true; }
    bool taken() const { return m_taken; }
    // Read without the lock: they change only in start(), before any request is taken.
    const StopRequests::Handlers &handlers() const { return m_handlers; }

private:
    StopRequests::Handlers m_handlers;
    std::mutex m_mutex;
    bool m_started = false;
    bool m_stopWaiting = false;       // request() before start()
    std::atomic<bool> m_taken = false; // the stop was handled
};

} // namespace tarvo
