// Reconnecting without a person: a host whose agent connection is not open is connected
// again, as the connect command does it, after a delay that grows from attempt to attempt
// up to a bound, with jitter so that many hosts do not all try at once.
#pragma once

#include "app/AgentLinks.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <string>

namespace tarvo {

class HostSubjectPool;
class LinkStats;

class AutoReconnect : public QObject, public LinkListener
{
public:
    struct Settings
    {
        int boundMs = 30000;                 // the longest delay (--reconnect SECONDS)
        int firstMs = 5000;                  // the first delay after a loss
        std::function<double()> nowMs;       // null: the wall clock (as the connections')
        std::function<unsigned()> random;    // null: std::rand
        bool startTimer = true;              // check every second on its own timer
    };
    // Two attempts on one host are at least this far apart: a connection refuses to open
    // again within 3 s of its last open or close.
    static constexpr int kLeastGapMs = 3500;

    AutoReconnect(AgentLinks &links, HostSubjectPool &pool, Settings settings,
                  LinkStats *stats = nullptr);

    // Looks at every host: one whose connection is not open and whose delay has passed is
    // connected again. A host the operator disconnected waits until it is connected by hand.
    void tick();

    uint64_t attempts() const { return attemptCount; }

    void linkOpened(const std::string &channelIP) override;
    void linkLost(const std::string &channelIP) override;
    void linkClosedByCommand(const std::string &channelIP) override;

private:
    struct HostState
    {
        double dueMs = -1;     // next attempt; -1: not scheduled
        int delayMs = 0;       // the delay before the next attempt
        bool byCommand = false;
        bool attempted = false;  // the connection being opened is an automatic one
    };
    double now() const;
    // Schedules the next attempt and doubles the delay up to the bound.
    void schedule(HostState &state);

    AgentLinks &links;
    HostSubjectPool &pool;
    Settings settings;
    LinkStats *stats;
    std::map<std::string, HostState, std::less<>> hosts;
    QTimer timer;
    uint64_t attemptCount = 0;
};

} // namespace tarvo
