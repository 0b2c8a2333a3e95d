// What keeps hostile clients from crowding out the console: who gets a client slot, how much
// of a client's text reaches the log, and how often refused connections are logged.
#pragma once

#include "agent/service/ServiceTimings.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// Texts from clients (and error texts that may quote them) are logged at most this long.
constexpr size_t LOGGED_TEXT_LIMIT = 300;

// `text` for the log: control bytes (a CR LF would forge a log line) become '?', and a text
// longer than `limit` is cut there, never inside a GBK character, and followed by
// "... (N bytes)" with its whole length.
std::string clipForLog(std::string_view text, size_t limit = LOGGED_TEXT_LIMIT);

// An open connection as the admission sees it; `spoken` once a whole message came from it.
struct OpenConnection
{
    int id = 0;
    std::string peer;
    bool spoken = false;
};

// What to do with a newcomer from an allowed address. When every slot is taken, the oldest
// connection that never sent a whole message gives its slot to the newcomer; when the
// newcomer's address holds its share already, the oldest silent one of that address does.
// A connection that has spoken is never displaced, so idle or trickling connections cannot
// keep a console out, and a console that talks cannot be pushed out by newcomers.
struct Admission
{
    enum class Kind { Admit, Displace, Refuse };
    Kind kind = Kind::Admit;
    int victim = 0;      // Displace: the id of the connection to close
    std::string why;     // Displace: which limit was reached, for the log
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
