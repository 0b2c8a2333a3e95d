// Taking apart what an agent sent: framing from the front of the receive buffer, protocol
// problems reported and their connection closed, heartbeats handled here, log messages
// handed to the SysLog files, answers to the command pool.
#include "app/AgentMessages.h"

#include "display/GridTables.h"
#include "framework/FrameworkError.h"
#include "protocol/Message.h"
#include "protocol/StreamFramer.h"

#include <memory>
#include <stdexcept>

namespace tarvo {

namespace {

// A decoding failure's text shown to the operator is cut to this many bytes.
constexpr size_t kMaxReasonBytes = 200;

// The console's receive buffer takes a message whose trailer starts within the limit.
const StreamFramer kFramer(StreamFramer::Limit::TrailerStart);

// An error's text, which may quote what the agent sent, cut to a line's worth.
std::string clipped(const std::string &text)
{
    constexpr size_t kMostBytes = 300;
    if (text.size() <= kMostBytes)
        return text;
    size_t kept = 0;  // whole GBK characters only
    while (kept < text.size()) {
        const size_t length = static_cast<unsigned char>(text[kept]) >= 0x81 ? 2 : 1;
        if (kept + length > kMostBytes)
            break;
        kept += length;
    }
    return text.substr(0, kept) + "... (" + std::to_string(text.size()) + " bytes)";
}

} // namespace

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

int AgentMessages::processReceived(const std::string &channelIP, std::string_view buffer)
{
    // The connection has just read these bytes: the answers in them arrived now.
    readAt = std::chrono::steady_clock::now();
    int consumed = 0;
    int previous = -1;
    int handled = 0;
    const int n = int(buffer.size());
    // A share of the loop at a time: the connection hands the rest over at its next pass.
    while (consumed < n && consumed != previous && handled < kMessagesPerPass) {
        previous = consumed;
        Message message;
        const Frame frame = kFramer.next(buffer, message);
        if (frame.complete()) {
            consumed += int(frame.length);
            buffer.remove_prefix(frame.length);
            ++handled;
            try {
                dispatchMessage(channelIP, message);
            } catch (const FrameworkError &e) {
                logRepeated("Exception from " + channelIP,
                            "Exception from " + channelIP + ": " + clipped(e.what()));
            } catch (const std::exception &e) {
                logRepeated("exception from " + channelIP,
                            "exception from " + channelIP + ": " + clipped(e.what()));
            }
            continue;
        }
        switch (frame.fault) {
        case Frame::Fault::None:
            return consumed;
        case Frame::Fault::Undecodable: {
            owner.writeLog("exception from " + channelIP + ": " + frame.reason, false, false);
            // The bad bytes would fail again at every read: the connection is closed and
            // its buffer dropped, so that the next connection starts clean. The operator sees
            // why before the line of the disconnect.
            owner.report("Error[探针" + channelIP + "消息无法解析: " +
                         frame.reason.substr(0, kMaxReasonBytes) + ", 断开连接]");
            TMMSocketProcessor *connection = registry.registryEntry(channelIP);
            if (connection && connection->isOpen())
                connection->disconnect();
            return consumed;
        }
        case Frame::Fault::MonitorOlder:
            closeForProtocolError(channelIP,
                                  "Error[Monitor的版本低于探针" + channelIP + ", 请更新Monitor]");
            break;
        case Frame::Fault::ProbeOlder:
            closeForProtocolError(channelIP,
                                  "Error[探针" + channelIP + "的版本低于Monitor, 请更新探针]");
            break;
        case Frame::Fault::BadTrailer:
            closeForProtocolError(channelIP, "Error[探针" + channelIP + "消息解析错误]" +
                                                 std::string(buffer));
            break;
        default: {
            owner.report("Error[探针" + channelIP + "消息过长]");
            {
                HostGridWalk walk(model);
                if (model.hostTable.locate(kHostKeyField, channelIP))
                    registry.disconnectCurrentRow();
            }
            return AgentConnectionOwner::kDiscardAll;
        }
        }
    }
    if (handled == kMessagesPerPass && consumed < n) {
        const auto entry = registry.entries().find(channelIP);
        if (entry != registry.entries().end() && entry->second)
            entry->second->handOverAgain();
    }
    return consumed;
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
