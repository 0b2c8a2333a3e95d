// The agent service's time rules per connection: heartbeats and the incomplete-message limit.
#pragma once

#include <atomic>
#include <chrono>

namespace tarvo {

using ServiceClock = std::chrono::steady_clock;

struct ServiceTimings
{
    // A connection on which nothing was sent for this long gets a heartbeat.
    std::chrono::milliseconds heartbeat{5000};
    // A connection holding part of a message that receives nothing for this long is closed.
    std::chrono::milliseconds incompleteTimeout{60000};
    // How often the watched programs' state is checked.
    std::chrono::milliseconds watch{1000};
    // A write that cannot go on for this long (the client reads nothing) ends the connection.
    std::chrono::milliseconds sendTimeout{10000};
};

// The timer state of one connection; the reader asks it what is due at `now`. sent() may
// be called from the thread that answers requests while the reader asks.
class ConnectionTimer
{
public:
    ConnectionTimer(const ServiceTimings &timings, ServiceClock::time_point now)
        : m_timings(timings), m_lastSent(ticks(now)), m_lastReceived(ticks(now))
    {
    }

    void sent(ServiceClock::time_point now) { m_lastSent = ticks(now); }
    void received(ServiceClock::time_point now) { m_lastReceived = ticks(now); }

    bool heartbeatDue(ServiceClock::time_point now) const
    {
        return now - lastSent() >= m_timings.heartbeat;
    }
    bool incompleteExpired(ServiceClock::time_point now, bool hasPartial) const
    {
        return hasPartial && now - lastReceived() >= m_timings.incompleteTimeout;
    }
    // How long the reader may wait for input before something falls due (0 if it is due).
    std::chrono::milliseconds waitFor(ServiceClock::time_point now, bool hasPartial) const
    {
        auto due = lastSent() + m_timings.heartbeat;
        if (hasPartial)
            due = std::min(due, lastReceived() + m_timings.incompleteTimeout);
        if (due <= now)
            return std::chrono::milliseconds(0);
        return std::chrono::ceil<std::chrono::milliseconds>(due - now);
    }

private:
    static ServiceClock::rep ticks(ServiceClock::time_point t) { return t.time_since_epoch().count(); }
    ServiceClock::time_point lastSent() const
    {
        return ServiceClock::time_point(ServiceClock::duration(m_lastSent.load()));
    }
    ServiceClock::time_point lastReceived() const
    {
        return ServiceClock::time_point(ServiceClock::duration(m_lastReceived.load()));
    }

    ServiceTimings m_timings;
    std::atomic<ServiceClock::rep> m_lastSent;
    std::atomic<ServiceClock::rep> m_lastReceived;
};

} // namespace tarvo
