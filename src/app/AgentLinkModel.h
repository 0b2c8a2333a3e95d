// What the three parts of the console's agent links share: what they need of the main
// window, the tables and pools they read and change, who hears of the connections, and the
// bracket that walks the host grid.
#pragma once

#include "comm/MessageCommandPool.h"
#include "comm/Mmsocketprocessor.h"
#include "display/AlarmEvent.h"
#include "display/CommandStates.h"
#include "display/GridTables.h"
#include "framework/GridState.h"
#include "framework/RecordSet.h"
#include "host/HostSubjectPool.h"

#include <string>

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
    virtual void refreshCommandStates(CommandMode mode) = 0;
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

    // Error list and console log, and the status bar when asked.
    void logEvent(const std::string &text, bool showInStatusBar)
    {
        writeLog(text, showInStatusBar, true);
    }
    // The latest status message, logged to the error list and the console log.
    void report(const std::string &text)
    {
        setStatusText(text);
        logEvent(text, false);
    }
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

// Moves the host grid's cursor for a while: remembers the operator's row and first visible
// row and suspends redrawing; every exit puts both back and resumes.
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

// The links' clock: the connections' own when they have one.
inline double linkNowMs(const TMMSocketProcessor::Settings &settings)
{
    return settings.nowMs ? settings.nowMs() : wallClockMs();
}

} // namespace tarvo
