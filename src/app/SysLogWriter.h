// The per-host SysLog files: the records of the agents' log messages, bounded per second and
// per day, and told once when a file cannot be written and once when it can again.
#pragma once

#include "app/AgentLinkModel.h"
#include "app/AgentRegistry.h"
#include "app/LogLimits.h"
#include "app/SysLogFiles.h"

#include <map>
#include <string>

namespace tarvo {

class MessageBody;

class SysLogWriter
{
public:
    SysLogWriter(AgentLinksOwner &owner, AgentRegistry &registry, std::string workingDirectory,
                 TMMSocketProcessor::Settings connectionSettings);

    // Writes the records of a log message to the error list and the host's SysLog file.
    void writeSysLog(const std::string &channelIP, const MessageBody &body);
    // logs/ "SysLog_" + ip + "_" + date + ".log" for the day of `stamp`.
    std::string sysLogPath(const std::string &channelIP, const std::string &stamp) const;
    // Closes the host's SysLog file if it is open (the host disconnected or went); the next
    // record opens it again.
    void closeSysLog(const std::string &channelIP);
    // Writes the ends of record bounds that are due at `now` (ms).
    void writeDueLines(double now);

private:
    // What one agent's SysLog file has taken and how its writes go.
    struct SysLogState
    {
        RecordBudget budget;
        WriteHealth health;
    };
    double nowMs() const { return linkNowMs(connectionSettings); }
    bool admitRecord(const std::string &channelIP, RecordBudget &budget, size_t bytes,
                     const std::string &stamp);
    static std::string sysLogResumedText(const std::string &channelIP, long dropped);
    void noteSysLogWrite(const std::string &channelIP, SysLogState &state, const std::string &path,
                         bool written, const std::string &failure, long records);

    AgentLinksOwner &owner;
    AgentRegistry &registry;
    std::string workingDirectory;
    TMMSocketProcessor::Settings connectionSettings;
    std::map<std::string, SysLogState, std::less<>> sysLogs;
    SysLogFiles files;
};

} // namespace tarvo
