// Taking apart what the agents send: framing from the front of a connection's receive
// buffer, heartbeats handled here, log messages written to the per-host SysLog files,
// answers handed to the command pool; and the console log lines an agent can make come at
// any rate.
#pragma once

#include "app/AgentLinkModel.h"
#include "app/AgentRegistry.h"
#include "app/LogLimits.h"
#include "app/SysLogWriter.h"
#include "protocol/MessageLimit.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace tarvo {

class Message;

class AgentMessages
{
public:
    // Messages of one connection handled in one pass of the event loop.
    static constexpr int kMessagesPerPass = 32;
    // The most bytes an acceptable message occupies: its trailer starts at MESSAGE_LIMIT.
    static constexpr size_t kLongestMessage = MESSAGE_LIMIT + 6;

    AgentMessages(AgentLinksOwner &owner, AgentLinkModel model, AgentRegistry &registry,
                  std::string workingDirectory, TMMSocketProcessor::Settings connectionSettings);

    // Decodes the complete messages at the front of `buffer` and handles them; returns how
    // many bytes were taken (kDiscardAll: drop everything).
    int processReceived(const std::string &channelIP, std::string_view buffer);

    // The host's connection closed: its SysLog file is closed until its next record.
    void agentDisconnected(const std::string &channelIP) { sysLog.closeSysLog(channelIP); }
    // Writes the counts of repeated lines and the ends of SysLog record bounds that are due.
    void writeDueLines();
    // Told the seconds from reading each status answer to the end of its host's update.
    void setAnswerTimer(std::function<void(double seconds)> timer) { answerTimer = std::move(timer); }

private:
    void dispatchMessage(const std::string &channelIP, Message &message);
    void closeForProtocolError(const std::string &channelIP, const std::string &text);
    double nowMs() const { return linkNowMs(connectionSettings); }

    // Console log lines that an agent can make come at any rate go through `repeats`; texts
    // of one kind (an exception of one host) are counted together.
    void logRepeated(const std::string &text) { logRepeated(text, text); }
    void logRepeated(const std::string &kind, const std::string &text);
    // Liveness: a status answer applied.
    void noteAnswered(HostSubject &host);

    AgentLinksOwner &owner;
    AgentLinkModel model;
    AgentRegistry &registry;
    TMMSocketProcessor::Settings connectionSettings;
    // When the bytes being taken apart were read (the start of an answer's latency).
    std::chrono::steady_clock::time_point readAt;
    std::function<void(double)> answerTimer;
    RepeatedLines repeats;
    SysLogWriter sysLog;
};

} // namespace tarvo
