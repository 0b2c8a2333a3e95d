// Counting lost connections and reconnects, per host; the console as the metrics read it.
#include "app/LinkStats.h"

#include "app/Fmain.h"

namespace tarvo {

LinkStats::LinkStats(AgentLinks &agentLinks) : links(agentLinks)
{
    links.registry().addListener(this);
}

LinkStats::~LinkStats() { links.registry().removeListener(this); }

HostLinkCounts LinkStats::linkCounts(const std::string &channelIP) const
{
    const auto found = byHost.find(channelIP);
    return found == byHost.end() ? HostLinkCounts{} : found->second;
}

const RecordSet &ConsoleMetricsSource::hostTable() const { return window.hostTable(); }

const RecordSet &ConsoleMetricsSource::pbuTable() const { return window.pbuTable(); }

const HostSubjectPool &ConsoleMetricsSource::hostPool() const { return window.hostPool(); }

} // namespace tarvo
