// Whose request the agent executes next: a rate limit per client and for all clients, and
// the rarely asking client (a console) first.
#pragma once

#include "agent/service/ServiceTimings.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace tarvo {

// Each client may have `perSecond` requests executed a second, in bursts of up to `burst`
// (a token bucket), and all clients together `totalPerSecond` (in bursts of one second's
// worth). A request beyond these waits for its turn; the service stops reading a client
// that has many waiting, so the rest stays in that client's socket. Turns go round the
// client addresses and, within an address, round its connections: each turn goes to the
// address whose last turn is longest ago, and there to the connection whose last turn is
// longest ago (an address or a connection without a turn yet counts from its first waiting
// request, so a client gains nothing by connecting anew). A console, which asks every few
// seconds from an address of its own, thus waits at most one turn per other address that
// is asking, however many connections ask all the time. Not thread-safe; times come from
// the caller.
class RequestScheduler
{
public:
    RequestScheduler(unsigned perSecond, unsigned burst, unsigned totalPerSecond);

    // A request of `client`, a connection from `address`, now waits for execution.
    void queued(int client, const std::string &address, ServiceClock::time_point now);
    // `client` is gone, and so is whatever of it waited.
    void forget(int client);

    struct Turn
    {
        // The client whose oldest waiting request is to be executed now; none when nobody
        // may go now.
        std::optional<int> client;
        // When someone may go, if nobody may now but requests wait; none when none wait.
        std::optional<ServiceClock::time_point> retryAt;
    };
    // The next turn. A turn given is taken: it counts against the client's and the total
    // rate, and the client has one request fewer waiting.
    Turn next(ServiceClock::time_point now);

    // Requests of `client` waiting.
    unsigned waiting(int client) const;

private:
    // A token bucket: `tokens` of at most `capacity`, refilled at `perSecond`.
    struct Bucket
    {
        double tokens = 0;
        ServiceClock::time_point refilled;
        void refill(ServiceClock::time_point now, double perSecond, double capacity);
        // When it holds a whole token again.
        ServiceClock::time_point readyAt(double perSecond) const;
    };
    struct Client
    {
        std::string address;
        unsigned waiting = 0;
        Bucket bucket;
        // The number of its last turn; before it had one, the turns given before its first
        // request.
        uint64_t lastTurn = 0;
    };
    struct Address
    {
        unsigned clients = 0;
        uint64_t lastTurn = 0; // the same for the address
    };

    double m_perSecond;
    double m_burst;
    double m_totalPerSecond;
    Bucket m_total;
    bool m_totalStarted = false;
    uint64_t m_turns = 0; // turns given so far
    std::map<int, Client> m_clients;
    std::map<std::string, Address> m_addresses;
};

} // namespace tarvo
