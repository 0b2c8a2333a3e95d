// The console's links to its agents: the connection registry, connecting and disconnecting
// hosts, the connections' callbacks, polling, the heartbeat pass, and taking apart what
// arrives (heartbeats, log messages, answers for the command pool).
#pragma once

#include "app/LogLimits.h"
#include "comm/MessageCommandPool.h"
#include "comm/Mmsocketprocessor.h"
#include "display/AlarmEvent.h"
#include "display/GridTables.h"
#include "framework/GridState.h"
#include "framework/RecordSet.h"
#include "host/HostSubjectPool.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// What the links need of the main window.
class AgentLinksOwner
{
public:
    virtual ~AgentLinksOwner() = default;
    // Status bar (without stamp), error list and console log (with stamp).
    virtual void writeLog(const std::string &text, bool showInStatusBar, bool addToErrorList) = 0;
    virtual std::string timeStamp() const = 0;
    virtual bool isDebugLogging() const = 0;
    virtual void refreshCommandStates(int mode) = 0;
    virtual void saveHostListFile() = 0;
    // Asks the beep thread for a burst of five beeps, and tells the alarm command of `event`.
    virtual void raiseAlarm(const AlarmEvent &event) = 0;
    // After every message: keeps the active page's row, refreshes the command states and the
    // active page's pop-up items. May throw the framework's errors.
    virtual void refreshAfterMessage() = 0;
    // A line (already stamped) for the error list only.
    virtual void showErrorListLine(const std::string &line) = 0;
    // The latest status message.
    virtual void setStatusText(const std::string &text) = 0;
};

// Told what happens to the agent connections (the automatic reconnect, the metrics). Every
// call comes on the GUI thread, after the links have done their own work.
class LinkListener
{
public:
    virtual ~LinkListener() = default;
    virtual void linkOpened(const std::string &channelIP) { (void)channelIP; }
    // An open connection closed, by either side.
    virtual void linkLost(const std::string &channelIP) { (void)channelIP; }
    // The operator (or a host's deletion) closed it on purpose.
    virtual void linkClosedByCommand(const std::string &channelIP) { (void)channelIP; }
};

// The main window's tables and pools that the links read and change.
struct AgentLinkModel
{
    RecordSet &hostTable;
    RecordSet &pbuTable;
    GridState &hostGrid;
    GridState &pbuGrid;
    HostSubjectPool &hostPool;
    MessageCommandPool &commandPool;
    int &checkedPbuCount;
};

class AgentLinks : public AgentConnectionOwner
{
public:
    using Registry = std::map<std::string, TMMSocketProcessor *, std::less<>>;
    // A decoded message may end at most at this byte of the receive buffer.
    static constexpr int kMaxMessageEnd = 20480;
    // Messages of one connection handled in one pass of the event loop.
    static constexpr int kMessagesPerPass = 32;
    // Status requests a connected host may leave unanswered in a row before it is reported.
    static constexpr int32_t kStalePolls = 3;
    // The most bytes an acceptable message occupies: its trailer starts at kMaxMessageEnd.
    static constexpr size_t kLongestMessage = size_t(kMaxMessageEnd) + 6;
    static constexpr double kHeartbeatQuietMs = 5000;
    // Answers a host may owe at once; older requests are given up (about 5 minutes of polls).
    static constexpr int32_t kMostWaitingAnswers = 64;

    AgentLinks(AgentLinksOwner &owner, AgentLinkModel model, std::string workingDirectory,
               TMMSocketProcessor::Settings connectionSettings = {});
    ~AgentLinks() override;
    AgentLinks(const AgentLinks &) = delete;
    AgentLinks &operator=(const AgentLinks &) = delete;

    void setHeartbeatText(std::string text) { heartbeatText = std::move(text); }
    // Told the seconds from reading each status answer to the end of its host's update.
    void setAnswerTimer(std::function<void(double seconds)> timer) { answerTimer = std::move(timer); }

    // --- the registry: channel IP -> connection; a lookup inserts an empty entry.
    TMMSocketProcessor *&registryEntry(const std::string &channelIP);
    const Registry &registry() const { return connectionRegistry; }
    // Exit: forgets every entry (the connections live on until the links go).
    void clearRegistry() { connectionRegistry.clear(); }

    // --- commands
    void connectHosts(bool tickedOnly);
    // Connects the host of `channelIP` as the connect command does (and logs as it does);
    // false when the host has no row.
    bool connectHost(const std::string &channelIP);
    // Listeners are not owned; each stays until the links go.
    void addListener(LinkListener *listener) { listeners.push_back(listener); }
    void removeListener(LinkListener *listener) { std::erase(listeners, listener); }
    void connectCurrentHost();
    void connectSelectedHosts();
    void disconnectCheckedHosts();
    void disconnectSelectedHosts();
    // A host being deleted: its open connection is closed and its waiting commands dropped.
    void dropHost(const std::string &channelIP);
    // The current host row's connection (or none) in `connection`; true when it is open.
    // False without touching `connection` when the host table is empty.
    bool currentConnection(TMMSocketProcessor *&connection);
    void sendStatusRequest();
    // A status request to every host; first writes the counts of repeated lines and the ends
    // of log record bounds that are due.
    void pollHostStatus();
    // One heartbeat pass over the registry.
    void sendHeartbeats();
    // One step of a host's troubleshooting run: "AgentStatus" (make sure the agent is being
    // connected), "AgentStatus1" (the connection's state), or a request step ("AgentVersion",
    // "CheckCfgFile", "CheckCS") sent on the open connection. Results land in the host's
    // troubleShootingText and troubleShootingPending, at once or when the answer comes.
    void runTroubleshootingStep(const std::string &channelIP, const std::string &stepName);

    // --- the connections' callbacks
    int processReceived(const std::string &channelIP, std::string_view buffer) override;
    void agentConnected(const std::string &channelIP) override;
    void agentDisconnected(const std::string &channelIP, const std::string &reason) override;
    void connectionLog(const std::string &text) override;
    void connectionEvent(const std::string &text) override;
    bool isDebugLogging() const override;

    // Writes the records of a log message to the error list and the host's SysLog file.
    void writeSysLog(const std::string &channelIP, const MessageBody &body);
    // logs/ "SysLog_" + ip + "_" + date + ".log" for the day of `stamp`.
    std::string sysLogPath(const std::string &channelIP, const std::string &stamp) const;

private:
    // Moves the host grid's cursor for a while: remembers the operator's row and first
    // visible row and suspends redrawing; every exit puts both back and resumes.
    class HostGridWalk
    {
    public:
        explicit HostGridWalk(const AgentLinkModel &model)
            : grid(model.hostGrid), mark(grid.remember(kHostKeyField)), guard(grid.recordSet())
        {
        }
        ~HostGridWalk() { grid.restore(mark, kHostKeyField); }
        HostGridWalk(const HostGridWalk &) = delete;
        HostGridWalk &operator=(const HostGridWalk &) = delete;

    private:
        GridState &grid;
        GridState::Bookmark mark;
        SuspendGuard guard;
    };

    void logEvent(const std::string &text, bool showInStatusBar)
    {
        owner.writeLog(text, showInStatusBar, true);
    }
    void report(const std::string &text);
    void disconnectCurrentRow();
    void clearRowStatus(bool alsoProgramStates);
    void dispatchMessage(const std::string &channelIP, Message &message);
    void closeForProtocolError(const std::string &channelIP, const std::string &text);
    HostSubject *currentHost() const;
    double nowMs() const;

    // Console log lines that an agent can make come at any rate go through `repeats`; texts
    // of one kind (an exception of one host) are counted together.
    void logRepeated(const std::string &text) { logRepeated(text, text); }
    void logRepeated(const std::string &kind, const std::string &text);
    void writeDueLines();
    // Liveness: a poll of a connected host, and a status answer applied.
    void notePoll(const std::string &channelIP, HostSubject &host);
    void noteAnswered(HostSubject &host);

    // What one agent's SysLog file has taken and how its writes go.
    struct SysLogState
    {
        RecordBudget budget;
        WriteHealth health;
    };
    bool admitRecord(const std::string &channelIP, RecordBudget &budget, size_t bytes,
                     const std::string &stamp);
    static std::string sysLogResumedText(const std::string &channelIP, long dropped);
    void noteSysLogWrite(const std::string &channelIP, SysLogState &state, const std::string &path,
                         bool written, const std::string &failure, long records);

    AgentLinksOwner &owner;
    AgentLinkModel model;
    std::string workingDirectory;
    TMMSocketProcessor::Settings connectionSettings;
    std::string heartbeatText;
    std::function<void(double)> answerTimer;
    Registry connectionRegistry;
    // Every connection ever made; a replaced one is kept, silent, until the links go.
    std::vector<std::unique_ptr<TMMSocketProcessor>> connections;
    std::vector<LinkListener *> listeners;
    // When the bytes being taken apart were read (the start of an answer's latency).
    std::chrono::steady_clock::time_point readAt;
    RepeatedLines repeats;
    std::map<std::string, SysLogState, std::less<>> sysLogs;
};

} // namespace tarvo
