// AgentMessages::processReceived: the messages at the front of an agent's receive buffer
// framed, decoded and handed on, within the bounds of one pass.
#include "app/AgentMessages.h"

#include "display/GridTables.h"
#include "framework/FrameworkError.h"
#include "protocol/Message.h"
#include "protocol/StreamFramer.h"

#include <chrono>
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

} // namespace tarvo
