// Client slots, clipped log texts and the refusal log's rate limit.
#include "agent/service/ConnectionLimits.h"

#include <algorithm>

namespace tarvo {
namespace {

constexpr const char *OTHER_ADDRESSES = "other addresses";

// The length of the GBK (GB18030) character starting at `text[i]`.
size_t characterLength(std::string_view text, size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x81 || lead == 0xFF || i + 1 >= text.size())
        return 1;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if (second >= 0x30 && second <= 0x39)
        return std::min<size_t>(4, text.size() - i);
    return 2;
}

} // namespace

std::string clipForLog(std::string_view text, size_t limit)
{
    std::string clipped;
    size_t i = 0;
    while (i < text.size()) {
        const size_t length = characterLength(text, i);
        if (clipped.size() + length > limit)
            break;
        if (length == 1) {
            const auto byte = static_cast<unsigned char>(text[i]);
            clipped += byte < 0x20 || byte == 0x7F ? '?' : char(byte);
        } else {
            clipped.append(text.substr(i, length));
        }
        i += length;
    }
    if (i < text.size())
        clipped += "... (" + std::to_string(text.size()) + " bytes)";
    return clipped;
}

Admission decideAdmission(const std::vector<OpenConnection> &open, const std::string &peer,
                          const ServiceTimings &limits)
{
    // The oldest connection that never spoke among those `within` selects.
    auto oldestSilent = [&](auto within) -> const OpenConnection * {
        const OpenConnection *found = nullptr;
        for (const OpenConnection &c : open)
            if (!c.spoken && within(c) && (!found || c.id < found->id))
                found = &c;
        return found;
    };
    Admission admission;
    const size_t fromPeer = size_t(std::count_if(
        open.begin(), open.end(), [&](const OpenConnection &c) { return c.peer == peer; }));
    if (fromPeer >= limits.maxClientsPerAddress) {
        const OpenConnection *victim =
            oldestSilent([&](const OpenConnection &c) { return c.peer == peer; });
        if (!victim) {
            admission.kind = Admission::Kind::Refuse;
            admission.refusal = "too many connections from this address (" +
                                std::to_string(limits.maxClientsPerAddress) + ")";
            return admission;
        }
        admission.kind = Admission::Kind::Displace;
        admission.victim = victim->id;
        admission.why = "its address holds " + std::to_string(limits.maxClientsPerAddress) +
                        " connections";
        return admission;
    }
    if (open.size() < limits.maxClients)
        return admission;
    const OpenConnection *victim = oldestSilent([](const OpenConnection &) { return true; });
    if (!victim) {
        admission.kind = Admission::Kind::Refuse;
        admission.refusal = "too many clients (" + std::to_string(limits.maxClients) + ")";
        return admission;
    }
    admission.kind = Admission::Kind::Displace;
    admission.victim = victim->id;
    admission.why = "every client slot is taken";
    return admission;
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
