// What the metrics tell of each host's link beyond the tables and the hosts: lost connections
// and automatic reconnects.
#pragma once

#include "app/AgentLinks.h"

#include <cstdint>
#include <map>
#include <string>

namespace tarvo {

struct HostLinkStats
{
    uint64_t lostConnections = 0;  // open connections that closed, by either side
    uint64_t reconnects = 0;       // connections opened by an automatic reconnect
};

// Follows the links' events, on the GUI thread. (The time of a host's last answer is the
// host's own, HostSubject::lastAnswerMs.)
class LinkStats : public LinkListener
{
public:
    explicit LinkStats(AgentLinks &links);
    ~LinkStats() override;
    LinkStats(const LinkStats &) = delete;
    LinkStats &operator=(const LinkStats &) = delete;

    const std::map<std::string, HostLinkStats, std::less<>> &hosts() const { return byHost; }
    void countReconnect(const std::string &channelIP) { ++byHost[channelIP].reconnects; }

    void linkLost(const std::string &channelIP) override { ++byHost[channelIP].lostConnections; }

private:
    AgentLinks &links;
    std::map<std::string, HostLinkStats, std::less<>> byHost;
};

} // namespace tarvo
