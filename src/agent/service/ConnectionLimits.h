// What keeps hostile clients from crowding out the console: who gets a client slot and how
// often refused connections are logged (how a client's text reaches the log: LogText.h).
#pragma once

#include "agent/LogText.h"
#include "agent/service/ServiceTimings.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// An open connection as the admission sees it.
struct OpenConnection
{
    int id = 0;
    std::string peer;
    // A whole message came from it.
    bool spoken = false;
    // How long ago its last whole message came (since its acceptance, if none did).
    std::chrono::milliseconds quietFor{0};
    // Requests of it wait for execution: it waits for the agent, not the other way round.
    bool waiting = false;
};

// What to do with a newcomer from an allowed address. When every slot is taken, or the
// newcomer's address holds its share already (then only that address's connections count),
// a connection gives way if it may be displaced: one that never sent a whole message, or one
// that has been quiet for longer than `limits.displaceQuietAfter` (longer than any console
// is: a console sends a request or a heartbeat at least every few seconds). Of those, the one
// quiet longest goes (the oldest on a tie). A connection with requests waiting is never
// displaced. So a restarting console finds room however its old connection, idle holders or
// a slow trickle took the slots, and a console that talks is never pushed out.
struct Admission
{
    enum class Kind { Admit, Displace, Refuse };
    Kind kind = Kind::Admit;
    int victim = 0;      // Displace: the id of the connection to close
    std::string why;     // Displace: why it is closed, for the log
    std::string refusal; // Refuse: why, for the log
};

Admission decideAdmission(const std::vector<OpenConnection> &open, const std::string &peer,
                          const ServiceTimings &limits);

// Rate limit of the "refused a connection" lines: the first refusal of an address is logged,
// further ones within `interval` are only counted; once the interval has passed the count is
// logged (by due(), called now and then, or with the next logged refusal). Not thread-safe.
class RefusalLog
{
public:
    explicit RefusalLog(std::chrono::milliseconds interval) : m_interval(interval) {}

    // The line to log for this refusal, or nothing when it is only counted.
    std::optional<std::string> refused(const std::string &peer, const std::string &reason,
                                       ServiceClock::time_point now);
    // The count lines of addresses whose interval has passed.
    std::vector<std::string> due(ServiceClock::time_point now);

    // Addresses tracked at most; refusals from further addresses share one entry.
    static constexpr size_t MAX_ADDRESSES = 1024;

private:
    struct Entry
    {
        ServiceClock::time_point logged;
        long suppressed = 0;
    };
    static std::string countLine(const std::string &peer, long count);

    std::chrono::milliseconds m_interval;
    std::map<std::string, Entry> m_entries;
};

} // namespace tarvo
