// The console's links to its agents, in three parts: the registry (connecting and
// disconnecting), the poller (status requests, heartbeats, troubleshooting requests) and
// the message handler (what arrives, the SysLog files). The links receive every
// connection's events and hand each to its part.
#pragma once

#include "app/AgentLinkModel.h"
#include "app/AgentMessages.h"
#include "app/AgentPoller.h"
#include "app/AgentRegistry.h"

#include <functional>
#include <string>
#include <string_view>

namespace tarvo {

class AgentLinks : public AgentConnectionOwner
{
public:
    AgentLinks(AgentLinksOwner &owner, AgentLinkModel model, std::string workingDirectory,
               TMMSocketProcessor::Settings connectionSettings = {});
    AgentLinks(const AgentLinks &) = delete;
    AgentLinks &operator=(const AgentLinks &) = delete;

    AgentRegistry &registry() { return agentRegistry; }
    const AgentRegistry &registry() const { return agentRegistry; }
    AgentPoller &poller() { return agentPoller; }
    AgentMessages &messages() { return agentMessages; }
    // Told the seconds from reading each status answer to the end of its host's update.
    void setAnswerTimer(std::function<void(double seconds)> timer)
    {
        agentMessages.setAnswerTimer(std::move(timer));
    }

    // --- the connections' callbacks
    int processReceived(const std::string &channelIP, std::string_view buffer) override
    {
        return agentMessages.processReceived(channelIP, buffer);
    }
    void agentConnected(const std::string &channelIP) override
    {
        agentRegistry.agentConnected(channelIP);
    }
    void agentDisconnected(const std::string &channelIP, const std::string &) override
    {
        agentRegistry.agentDisconnected(channelIP);
        agentMessages.agentDisconnected(channelIP);
    }
    void connectionLog(const std::string &text) override { owner.writeLog(text, false, false); }
    void connectionEvent(const std::string &text) override { owner.writeLog(text, false, true); }
    bool isDebugLogging() const override { return owner.isDebugLogging(); }

private:
    AgentLinksOwner &owner;
    // The parts refer to the registry: it is made first and goes last.
    AgentRegistry agentRegistry;
    AgentPoller agentPoller;
    AgentMessages agentMessages;
};

} // namespace tarvo
