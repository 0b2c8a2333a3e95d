// What the metrics tell of each host's link beyond the tables and the hosts: lost connections
// and automatic reconnects.
#pragma once

#include "app/AgentLinks.h"
#include "metrics/MetricsSource.h"

#include <cstdint>
#include <map>
#include <string>

namespace tarvo {

class TF_Main;

using HostLinkStats = HostLinkCounts;

// Follows the links' events, on the GUI thread. (The time of a host's last answer is the
// host's own, HostSubject::lastAnswerMs.)
class LinkStats : public LinkListener, public LinkCounts
{
public:
    explicit LinkStats(AgentLinks &links);
    ~LinkStats() override;
    LinkStats(const LinkStats &) = delete;
    LinkStats &operator=(const LinkStats &) = delete;

    const std::map<std::string, HostLinkStats, std::less<>> &hosts() const { return byHost; }
    void countReconnect(const std::string &channelIP) { ++byHost[channelIP].reconnects; }

    void linkLost(const std::string &channelIP) override { ++byHost[channelIP].lostConnections; }
    HostLinkCounts linkCounts(const std::string &channelIP) const override;

private:
    AgentLinks &links;
    std::map<std::string, HostLinkStats, std::less<>> byHost;
};

// The console's tables and hosts as the metrics exporter reads them.
class ConsoleMetricsSource : public MetricsSource
{
public:
    explicit ConsoleMetricsSource(TF_Main &window) : window(window) {}
    const RecordSet &hostTable() const override;
    const RecordSet &pbuTable() const override;
    const HostSubjectPool &hostPool() const override;

private:
    TF_Main &window;
};

} // namespace tarvo
