// Counting lost connections and reconnects, per host.
#include "app/LinkStats.h"

namespace tarvo {

LinkStats::LinkStats(AgentLinks &agentLinks) : links(agentLinks)
{
    links.registry().addListener(this);
}

LinkStats::~LinkStats() { links.registry().removeListener(this); }

} // namespace tarvo
