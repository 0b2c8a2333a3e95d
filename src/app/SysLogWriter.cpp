// The per-host SysLog files: the records of the agents' log messages, bounded per second and
// per day, shown in the error list and appended to logs/SysLog_<ip>_<date>.log.
#include "app/SysLogWriter.h"

#include "app/ConsoleLog.h"
#include "framework/FrameworkError.h"
#include "protocol/Convert.h"
#include "protocol/MessageBody.h"

#include <cerrno>
#include <cstring>

namespace tarvo {

namespace {

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

// A line as the error list shows it: trailing blanks and control characters removed.
std::string trimmedRight(const std::string &line)
{
    size_t end = line.size();
    while (end > 0 && static_cast<unsigned char>(line[end - 1]) <= ' ')
        --end;
    return line.substr(0, end);
}

} // namespace

SysLogWriter::SysLogWriter(AgentLinksOwner &writerOwner, AgentRegistry &agentRegistry,
                           std::string directory, TMMSocketProcessor::Settings settings)
    : owner(writerOwner), registry(agentRegistry), workingDirectory(std::move(directory)),
      connectionSettings(std::move(settings))
{
}

void SysLogWriter::writeDueLines(double now)
{
    const std::string day = owner.timeStamp().substr(0, 10);
    for (auto &[ip, state] : sysLogs) {
        if (std::optional<long> dropped = state.budget.ended(now, day))
            owner.logEvent(sysLogResumedText(ip, *dropped), false);
    }
}

std::string SysLogWriter::sysLogPath(const std::string &channelIP, const std::string &stamp) const
{
    return workingDirectory + "/logs/SysLog_" + channelIP + "_" + stamp.substr(0, 10) + ".log";
}

void SysLogWriter::writeSysLog(const std::string &channelIP, const MessageBody &body)
{
    std::string text = body.getFieldValue("sysLog");
    const std::string stamp = owner.timeStamp();
    const std::string path = sysLogPath(channelIP, stamp);
    // An open file that is still the one at its path needs no look at the directory.
    if (!files.isCurrent(channelIP, path))
        ensureLogDirectory(workingDirectory + "/logs");
    TMMSocketProcessor *connection = registry.registryEntry(channelIP);
    if (!connection)
        return;
    SysLogState &state = sysLogs[channelIP];
    // The admitted records of the message, written in one go at its end: a message whose
    // records are all dropped leaves the file alone. A record that fails to parse leaves
    // with the records before it written.
    std::string admitted;
    long records = 0;

    for (size_t end = text.find('\x02'); end != std::string::npos; end = text.find('\x02')) {
        std::string record = text.substr(0, end);
        const std::string word = takeWord(record);
        const std::string numberText = takeWord(record);
        const std::optional<int32_t> number = tryToInt(numberText);
        if (!number) {
            if (records > 0)
                files.append(channelIP, path, admitted);
            throw FrameworkError("'" + numberText + "' is not a valid integer value");
        }
        const std::string line = owner.timeStamp() + "[" + channelIP + " " + word + " " +
                                 std::to_string(*number) + "]" + record;
        if (admitRecord(channelIP, state.budget, line.size(), stamp)) {
            ++records;
            owner.showErrorListLine(trimmedRight(line));
            admitted += line;
        }
        if (end + 1 == text.size())
            break;
        text.erase(0, end + 1);
    }
    if (records == 0)
        return;
    const int error = files.append(channelIP, path, admitted);
    if (error < 0) {
        noteSysLogWrite(channelIP, state, path, false, kSysLogUnopenable, records);
        return;
    }
    noteSysLogWrite(channelIP, state, path, error == 0, error ? std::strerror(error) : "", records);
}

void SysLogWriter::closeSysLog(const std::string &channelIP) { files.close(channelIP); }

bool SysLogWriter::admitRecord(const std::string &channelIP, RecordBudget &budget, size_t bytes,
                             const std::string &stamp)
{
    const RecordBudget::Verdict verdict = budget.admit(bytes, nowMs(), stamp.substr(0, 10));
    if (verdict.endedAfter)
        owner.logEvent(sysLogResumedText(channelIP, *verdict.endedAfter), false);
    if (verdict.reached == RecordBudget::Limit::Rate)
        owner.report("Error[探针" + channelIP + "日志记录过多(每秒超过" +
               std::to_string(int(RecordBudget::kPerSecond)) + "条), 暂停记录]");
    else if (verdict.reached == RecordBudget::Limit::Day)
        owner.report("Error[探针" + channelIP + "今日日志超过" +
               std::to_string(RecordBudget::kBytesPerDay >> 20) + "MB, 今日不再记录]");
    return verdict.write;
}

std::string SysLogWriter::sysLogResumedText(const std::string &channelIP, long dropped)
{
    return "探针" + channelIP + "日志恢复记录, 期间丢弃" + std::to_string(dropped) + "条";
}

void SysLogWriter::noteSysLogWrite(const std::string &channelIP, SysLogState &state,
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
