// Counting lost connections and reconnects, per host.
#include "app/LinkStats.h"

namespace tarvo {

LinkStats::LinkStats(AgentLinks &agentLinks) : links(agentLinks) { links.addListener(this); }

LinkStats::~LinkStats() { links.removeListener(this); }

} // namespace tarvo
