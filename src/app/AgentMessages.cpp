// Taking apart what an agent sent: framing from the front of the receive buffer, protocol
// problems reported and their connection closed, heartbeats and log messages handled here,
// answers handed to the command pool; and the per-host SysLog files.
#include "app/AgentLinks.h"

#include "app/ConsoleLog.h"
#include "display/GridTables.h"
#include "framework/FrameworkError.h"
#include "protocol/Convert.h"
#include "protocol/Message.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace tarvo {

namespace {

// A decoding failure's text shown to the operator is cut to this many bytes.
constexpr size_t kMaxReasonBytes = 200;

// The record's text up to its first blank, and the rest behind that blank. Without a blank
// the word is empty and the record stays whole.
std::string takeWord(std::string &record)
{
    const size_t blank = record.find(' ');
    if (blank == std::string::npos)
        return {};
    std::string word = record.substr(0, blank);
    record.erase(0, blank + 1);
    return word;
}

// The line for a SysLog file that cannot be opened.
const std::string kSysLogUnopenable = "无法打开系统日志文件";

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

// A line as the error list shows it: trailing blanks and control characters removed.
std::string trimmedRight(const std::string &line)
{
    size_t end = line.size();
    while (end > 0 && static_cast<unsigned char>(line[end - 1]) <= ' ')
        --end;
    return line.substr(0, end);
}

} // namespace

void AgentLinks::closeForProtocolError(const std::string &channelIP, const std::string &text)
{
    report(text);
    TMMSocketProcessor *connection = registryEntry(channelIP);
    if (connection && connection->isOpen())
        connection->disconnect();
}

int AgentLinks::processReceived(const std::string &channelIP, std::string_view buffer)
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
        int r = 0;
        try {
            r = message.decode(buffer);
            // A header that announces a message ending beyond the limit need not be waited
            // for: it is over-long however its bytes arrive.
            // Nor need bytes that already run past the longest acceptable message without
            // making one (no header, or a header or body without end): keeping them would
            // let an agent fill the console's memory.
            if (r == Message::DECODE_INCOMPLETE) {
                const std::optional<size_t> frame = Message::frameLength(buffer);
                if ((frame && *frame - 6 > size_t(kMaxMessageEnd)) ||
                    buffer.size() > kLongestMessage)
                    r = kMaxMessageEnd + 1;
            }
        } catch (const std::exception &e) {
            owner.writeLog("exception from " + channelIP + ": " + e.what(), false, false);
            // The bad bytes would fail again at every read: the connection is closed and
            // its buffer dropped, so that the next connection starts clean. The operator sees
            // why before the line of the disconnect.
            report("Error[探针" + channelIP + "消息无法解析: " +
                   std::string(e.what()).substr(0, kMaxReasonBytes) + ", 断开连接]");
            TMMSocketProcessor *connection = registryEntry(channelIP);
            if (connection && connection->isOpen())
                connection->disconnect();
            return consumed;
        }
        if (r >= 1 && r <= kMaxMessageEnd) {
            const size_t length = size_t(r) + message.checkSumFieldLength() - 1;
            consumed += int(length);
            buffer.remove_prefix(length);
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
        switch (r) {
        case Message::DECODE_INCOMPLETE:
            return consumed;
        case Message::DECODE_MONITOR_OLDER:
            closeForProtocolError(channelIP,
                                  "Error[Monitor的版本低于探针" + channelIP + ", 请更新Monitor]");
            break;
        case Message::DECODE_PROBE_OLDER:
            closeForProtocolError(channelIP,
                                  "Error[探针" + channelIP + "的版本低于Monitor, 请更新探针]");
            break;
        case Message::DECODE_BAD_TRAILER:
            closeForProtocolError(channelIP, "Error[探针" + channelIP + "消息解析错误]" +
                                                 std::string(buffer));
            break;
        default: {
            report("Error[探针" + channelIP + "消息过长]");
            {
                HostGridWalk walk(model);
                if (model.hostTable.locate(kHostKeyField, channelIP))
                    disconnectCurrentRow();
            }
            return kDiscardAll;
        }
        }
    }
    if (handled == kMessagesPerPass && consumed < n) {
        const auto entry = connectionRegistry.find(channelIP);
        if (entry != connectionRegistry.end() && entry->second)
            entry->second->handOverAgain();
    }
    return consumed;
}

void AgentLinks::dispatchMessage(const std::string &channelIP, Message &message)
{
    const std::string &type = message.getMessageType();
    std::string result;
    if (type == "12") {
        logRepeated("Beat message received from " + channelIP);
    } else if (type == "13") {
        if (owner.isDebugLogging())
            logRepeated("Syslog message received from " + channelIP);
        if (const MessageBody *body = message.getBody())
            writeSysLog(channelIP, *body);
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
        report("Error[" + result + "]");
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

std::string AgentLinks::sysLogPath(const std::string &channelIP, const std::string &stamp) const
{
    return workingDirectory + "/logs/SysLog_" + channelIP + "_" + stamp.substr(0, 10) + ".log";
}

void AgentLinks::writeSysLog(const std::string &channelIP, const MessageBody &body)
{
    std::string text = body.getFieldValue("sysLog");
    ensureLogDirectory(workingDirectory + "/logs");
    TMMSocketProcessor *connection = registryEntry(channelIP);
    if (!connection)
        return;
    SysLogState &state = sysLogs[channelIP];
    const std::string stamp = owner.timeStamp();
    const std::string path = sysLogPath(channelIP, stamp);
    // Opened for the first record written: a message whose records are all dropped leaves
    // the file alone. A record that fails to parse leaves with the file closed.
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(nullptr, &std::fclose);
    bool opened = false;
    int error = 0;
    long records = 0;

    for (size_t end = text.find('\x02'); end != std::string::npos; end = text.find('\x02')) {
        std::string record = text.substr(0, end);
        const std::string word = takeWord(record);
        const std::string numberText = takeWord(record);
        const std::optional<int32_t> number = tryToInt(numberText);
        if (!number)
            throw FrameworkError("'" + numberText + "' is not a valid integer value");
        const std::string line = owner.timeStamp() + "[" + channelIP + " " + word + " " +
                                 std::to_string(*number) + "]" + record;
        if (admitRecord(channelIP, state.budget, line.size(), stamp)) {
            ++records;
            owner.showErrorListLine(trimmedRight(line));
            if (!opened) {
                opened = true;
                file.reset(std::fopen(path.c_str(), "ab"));
            }
            if (file && std::fwrite(line.data(), 1, line.size(), file.get()) != line.size() &&
                !error)
                error = errno;
        }
        if (end + 1 == text.size())
            break;
        text.erase(0, end + 1);
    }
    if (!opened)
        return;
    if (!file) {
        noteSysLogWrite(channelIP, state, path, false, kSysLogUnopenable, records);
        return;
    }
    // A full disk shows at the latest when the buffered bytes go out.
    if (std::fclose(file.release()) != 0 && !error)
        error = errno;
    noteSysLogWrite(channelIP, state, path, error == 0, error ? std::strerror(error) : "", records);
}

bool AgentLinks::admitRecord(const std::string &channelIP, RecordBudget &budget, size_t bytes,
                             const std::string &stamp)
{
    const RecordBudget::Verdict verdict = budget.admit(bytes, nowMs(), stamp.substr(0, 10));
    if (verdict.endedAfter)
        logEvent(sysLogResumedText(channelIP, *verdict.endedAfter), false);
    if (verdict.reached == RecordBudget::Limit::Rate)
        report("Error[探针" + channelIP + "日志记录过多(每秒超过" +
               std::to_string(int(RecordBudget::kPerSecond)) + "条), 暂停记录]");
    else if (verdict.reached == RecordBudget::Limit::Day)
        report("Error[探针" + channelIP + "今日日志超过" +
               std::to_string(RecordBudget::kBytesPerDay >> 20) + "MB, 今日不再记录]");
    return verdict.write;
}

std::string AgentLinks::sysLogResumedText(const std::string &channelIP, long dropped)
{
    return "探针" + channelIP + "日志恢复记录, 期间丢弃" + std::to_string(dropped) + "条";
}

void AgentLinks::noteSysLogWrite(const std::string &channelIP, SysLogState &state,
                                 const std::string &path, bool written,
                                 const std::string &failure, long records)
{
    switch (state.health.note(written, records)) {
    case WriteHealth::Change::None:
        return;
    case WriteHealth::Change::Failed:
        // The open failure keeps its own line; any other failure names the file and why.
        if (failure == kSysLogUnopenable)
            owner.writeLog(failure, true, true);
        else
            owner.writeLog("Error[无法写入探针" + channelIP + "的日志文件" + path + ": " +
                               failure + "]",
                           true, true);
        return;
    case WriteHealth::Change::Recovered:
        owner.writeLog("探针" + channelIP + "的日志文件恢复写入, 期间丢失" +
                           std::to_string(state.health.lost()) + "条记录",
                       true, true);
        return;
    }
}

} // namespace tarvo
