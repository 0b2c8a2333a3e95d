// A stop handled once, on both systems.
#include "platform/StopLatch.h"

namespace tarvo {

bool StopLatch::start(StopRequests::Handlers handlers)
{
    std::lock_guard lock(m_mutex);
    m_handlers = std::move(handlers);
    m_started = true;
    return m_stopWaiting;
}

void StopLatch::request()
{
    std::lock_guard lock(m_mutex);
    if (!m_started) {
        m_stopWaiting = true;
        return;
    }
    if (!m_taken.exchange(true) && m_handlers.stop)
        m_handlers.stop();
}

} // namespace tarvo
