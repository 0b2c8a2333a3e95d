// Taking apart what an agent sent: protocol problems reported and their connection closed,
// heartbeats handled here, log messages handed to the SysLog files, answers to the command
// pool (the framing from the front of the receive buffer is in ProcessReceived.cpp).
#include "app/AgentMessages.h"

#include "framework/FrameworkError.h"
#include "protocol/Message.h"

#include <memory>
#include <stdexcept>

namespace tarvo {

AgentMessages::AgentMessages(AgentLinksOwner &messagesOwner, AgentLinkModel messagesModel,
                             AgentRegistry &agentRegistry, std::string directory,
                             TMMSocketProcessor::Settings settings)
    : owner(messagesOwner), model(messagesModel), registry(agentRegistry),
      connectionSettings(settings), sysLog(messagesOwner, agentRegistry, std::move(directory),
                                           std::move(settings))
{
}

void AgentMessages::logRepeated(const std::string &kind, const std::string &text)
{
    if (std::optional<std::string> line = repeats.admit(kind, text, nowMs()))
        owner.writeLog(*line, false, false);
}

void AgentMessages::writeDueLines()
{
    const double now = nowMs();
    for (const std::string &line : repeats.due(now))
        owner.writeLog(line, false, false);
    sysLog.writeDueLines(now);
}

void AgentMessages::noteAnswered(HostSubject &host)
{
    host.lastAnswerMs = nowMs();
    if (!host.stale)
        return;
    host.stale = false;
    owner.logEvent("报盘机[Ip:" + host.getChannelIP() + "]恢复应答", false);
}

void AgentMessages::closeForProtocolError(const std::string &channelIP, const std::string &text)
{
    owner.report(text);
    TMMSocketProcessor *connection = registry.registryEntry(channelIP);
    if (connection && connection->isOpen())
        connection->disconnect();
}

void AgentMessages::dispatchMessage(const std::string &channelIP, Message &message)
{
    const std::string &type = message.getMessageType();
    std::string result;
    if (type == "12") {
        logRepeated("Beat message received from " + channelIP);
    } else if (type == "13") {
        if (owner.isDebugLogging())
            logRepeated("Syslog message received from " + channelIP);
        if (const MessageBody *body = message.getBody())
            sysLog.writeSysLog(channelIP, *body);
    } else {
        try {
            HostSubject *host = model.hostPool.find(channelIP);
            const uint64_t answers = host ? host->statusAnswers : 0;
            result = model.commandPool.dispatch(message, channelIP);
            if (host && host->statusAnswers != answers)
                noteAnswered(*host);
        } catch (const FrameworkError &e) {
            owner.writeLog("Exception from " + channelIP + "(Message Execute): " + e.what() + "\n" +
                               message.encode(),
                           false, false);
            result.clear();
        }
    }
    if (!result.empty()) {
        owner.report("Error[" + result + "]");
        owner.saveHostListFile();
    }
    try {
        owner.refreshAfterMessage();
    } catch (const FrameworkError &e) {
        owner.writeLog("Exception from " + channelIP + "(Button Update): " + e.what() + "\n" +
                           message.encode(),
                       false, false);
    }
    if (type == "03" && answerTimer)
        answerTimer(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - readAt).count());
}

} // namespace tarvo
