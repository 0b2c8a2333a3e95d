// The three parts of the agent links, made in the order in which they refer to each other.
#include "app/AgentLinks.h"

namespace tarvo {

AgentLinks::AgentLinks(AgentLinksOwner &linksOwner, AgentLinkModel model, std::string directory,
                       TMMSocketProcessor::Settings settings)
    : owner(linksOwner),
      agentRegistry(linksOwner, model, *this, settings,
                    [this] { agentPoller.sendStatusRequest(); }),
      agentPoller(linksOwner, model, agentRegistry, settings,
                  [this] { agentMessages.writeDueLines(); }),
      agentMessages(linksOwner, model, agentRegistry, std::move(directory), settings)
{
}

} // namespace tarvo
