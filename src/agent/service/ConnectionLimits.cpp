// Client slots and the refusal log's rate limit.
#include "agent/service/ConnectionLimits.h"

#include <algorithm>

namespace tarvo {
namespace {

constexpr const char *OTHER_ADDRESSES = "other addresses";

} // namespace

Admission decideAdmission(const std::vector<OpenConnection> &open, const std::string &peer,
                          const ServiceTimings &limits)
{
    // The connection quiet longest of those `within` selects that may be displaced.
    auto quietest = [&](auto within) -> const OpenConnection * {
        const OpenConnection *found = nullptr;
        for (const OpenConnection &c : open) {
            const bool mayGo = !c.waiting && (!c.spoken || c.quietFor > limits.displaceQuietAfter);
            if (!mayGo || !within(c))
                continue;
            if (!found || c.quietFor > found->quietFor ||
                (c.quietFor == found->quietFor && c.id < found->id))
                found = &c;
        }
        return found;
    };
    auto displace = [&](const OpenConnection &victim, const std::string &limit) {
        Admission admission;
        admission.kind = Admission::Kind::Displace;
        admission.victim = victim.id;
        admission.why = limit + (victim.spoken ? " and it has sent nothing for " +
                                                     std::to_string(victim.quietFor.count()) + " ms"
                                               : std::string(" and it has sent no whole message")) +
                        ": its slot goes to a new connection from " + peer;
        return admission;
    };
    auto refuse = [](std::string why) {
        Admission admission;
        admission.kind = Admission::Kind::Refuse;
        admission.refusal = std::move(why);
        return admission;
    };

    const size_t fromPeer = size_t(std::count_if(
        open.begin(), open.end(), [&](const OpenConnection &c) { return c.peer == peer; }));
    if (fromPeer >= limits.maxClientsPerAddress) {
        const OpenConnection *victim =
            quietest([&](const OpenConnection &c) { return c.peer == peer; });
        if (!victim)
            return refuse("too many connections from this address (" +
                          std::to_string(limits.maxClientsPerAddress) + ")");
        return displace(*victim, "its address holds " +
                                     std::to_string(limits.maxClientsPerAddress) + " connections");
    }
    if (open.size() < limits.maxClients)
        return {};
    const OpenConnection *victim = quietest([](const OpenConnection &) { return true; });
    if (!victim)
        return refuse("too many clients (" + std::to_string(limits.maxClients) + ")");
    return displace(*victim, "every client slot is taken");
}

std::string RefusalLog::countLine(const std::string &peer, long count)
{
    return "refused " + std::to_string(count) + " more connection" + (count == 1 ? "" : "s") +
           " from " + peer + " (not logged one by one)";
}

std::optional<std::string> RefusalLog::refused(const std::string &peer, const std::string &reason,
                                               ServiceClock::time_point now)
{
    std::string key = peer;
    if (!m_entries.count(key) && m_entries.size() >= MAX_ADDRESSES)
        key = OTHER_ADDRESSES;
    auto found = m_entries.find(key);
    if (found != m_entries.end() && now - found->second.logged < m_interval) {
        ++found->second.suppressed;
        return std::nullopt;
    }
    std::string line = "refused a connection from " + peer + ": " + reason;
    if (found != m_entries.end() && found->second.suppressed > 0)
        line += " (and " + std::to_string(found->second.suppressed) +
                " more since the last line from " + key + ")";
    m_entries[key] = Entry{now, 0};
    return line;
}

std::vector<std::string> RefusalLog::due(ServiceClock::time_point now)
{
    std::vector<std::string> lines;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (now - it->second.logged < m_interval) {
            ++it;
            continue;
        }
        if (it->second.suppressed > 0)
            lines.push_back(countLine(it->first, it->second.suppressed));
        it = m_entries.erase(it);
    }
    return lines;
}

} // namespace tarvo
