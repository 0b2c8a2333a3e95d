// The agent service's rules per connection: heartbeats, the time limits on unfinished and on
// missing messages and on unread answers, and the limits on how many clients it serves.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>

namespace tarvo {

using ServiceClock = std::chrono::steady_clock;

// The defaults leave a real console alone: it sends something at least every six seconds
// (a request every poll period, else a heartbeat), asks for far less than a request a
// second, reads everything it is sent at once and holds one connection per agent.
struct ServiceTimings
{
    // A connection on which nothing was sent for this long gets a heartbeat.
    std::chrono::milliseconds heartbeat{5000};
    // A message whose first byte came this long ago and that is still incomplete ends the
    // connection, however its bytes trickle in.
    std::chrono::milliseconds incompleteTimeout{60000};
    // A connection on which no whole message arrived for this long (counted from its
    // acceptance, or from its last message or answered request) is closed.
    std::chrono::milliseconds idleTimeout{60000};
    // How often the watched programs' state is checked.
    std::chrono::milliseconds watch{1000};
    // Bytes waiting for a client that are still not all written this long after the queue
    // last was empty end the connection: the client reads too little or nothing.
    std::chrono::milliseconds sendTimeout{10000};
    // A client whose unwritten bytes exceed this is closed at once.
    size_t maxQueuedBytes = 512 * 1024;
    // Open connections at most, and at most from one address.
    size_t maxClients = 64;
    size_t maxClientsPerAddress = 8;
    // When the slots run out, a connection that has sent nothing for longer than this may
    // give its slot to a newcomer (ConnectionLimits.h).
    std::chrono::milliseconds displaceQuietAfter{15000};
    // Requests executed per second at most, for one connection (with bursts of up to
    // `requestBurst`) and for all together; the rest wait (RequestScheduler.h).
    unsigned requestsPerSecond = 5;
    unsigned requestBurst = 10;
    unsigned totalRequestsPerSecond = 40;
    // Refused connections from one address are logged one line per this interval; the
    // rest are counted and their number logged.
    std::chrono::milliseconds refusalLogInterval{60000};
};

// The timer state of one connection; its reader asks it what is due at `now`. sent() and
// active() may be called from the thread that answers requests while the reader asks.
class ConnectionTimer
{
public:
    ConnectionTimer(const ServiceTimings &timings, ServiceClock::time_point now)
        : m_timings(timings), m_lastSent(ticks(now)), m_lastActive(ticks(now)),
          m_lastHeard(ticks(now)), m_partialSince(ticks(now))
    {
    }

    // Something was sent (queued) to the client.
    void sent(ServiceClock::time_point now) { m_lastSent = ticks(now); }
    // A whole message arrived.
    void heard(ServiceClock::time_point now)
    {
        m_lastHeard = ticks(now);
        m_lastActive = ticks(now);
    }
    // A request of the client was answered.
    void active(ServiceClock::time_point now) { m_lastActive = ticks(now); }
    // The first byte of a message arrived; its deadline runs from here.
    void messageStarted(ServiceClock::time_point now) { m_partialSince = ticks(now); }

    bool heartbeatDue(ServiceClock::time_point now) const
    {
        return now - at(m_lastSent) >= m_timings.heartbeat;
    }
    bool incompleteExpired(ServiceClock::time_point now, bool hasPartial) const
    {
        return hasPartial && now - at(m_partialSince) >= m_timings.incompleteTimeout;
    }
    // How long ago the last whole message came (since the start, if none did).
    std::chrono::milliseconds quietFor(ServiceClock::time_point now) const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now - at(m_lastHeard));
    }
    bool idleExpired(ServiceClock::time_point now) const
    {
        return now - at(m_lastActive) >= m_timings.idleTimeout;
    }
    // How long the reader may wait for input before something falls due (0 if it is due).
    // `idleCounts` is false while requests of the client wait for execution: the client is
    // not idle then, so its idle limit falls due for nothing.
    std::chrono::milliseconds waitFor(ServiceClock::time_point now, bool hasPartial,
                                      bool idleCounts = true) const
    {
        auto due = at(m_lastSent) + m_timings.heartbeat;
        if (idleCounts)
            due = std::min(due, at(m_lastActive) + m_timings.idleTimeout);
        if (hasPartial)
            due = std::min(due, at(m_partialSince) + m_timings.incompleteTimeout);
        if (due <= now)
            return std::chrono::milliseconds(0);
        return std::chrono::ceil<std::chrono::milliseconds>(due - now);
    }

private:
    static ServiceClock::rep ticks(ServiceClock::time_point t) { return t.time_since_epoch().count(); }
    static ServiceClock::time_point at(const std::atomic<ServiceClock::rep> &t)
    {
        return ServiceClock::time_point(ServiceClock::duration(t.load()));
    }

    ServiceTimings m_timings;
    std::atomic<ServiceClock::rep> m_lastSent;
    std::atomic<ServiceClock::rep> m_lastActive;
    std::atomic<ServiceClock::rep> m_lastHeard;
    std::atomic<ServiceClock::rep> m_partialSince;
};

} // namespace tarvo
