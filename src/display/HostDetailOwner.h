// What a host detail window needs of the main window; the main window implements it, so the
// display does not depend on the application.
#pragma once

#include <string>

class QWidget;

namespace tarvo {

class HostDetailOwner
{
public:
    virtual ~HostDetailOwner() = default;

    // The console's one logging operation: the console log file always, the status bar and
    // the error list when asked.
    virtual void writeLog(const std::string& text, bool showInStatusBar, bool addToErrorList) = 0;
    // The local time as "YYYY-MM-DD hh:mm:ss " (20 characters, the blank included).
    virtual std::string timeStamp() const = 0;
    // The period of the periodic status poll in milliseconds, as the update timer runs it.
    virtual int pollPeriodMs() const = 0;
    // Runs one troubleshooting step for the host at `channelIP`: "AgentStatus" and
    // "AgentStatus1" look at the connection and set the host's troubleShootingText (and, for
    // "AgentStatus1", clear troubleShootingPending) before returning; "AgentVersion",
    // "CheckCfgFile" and "CheckCS" send a troubleshooting request whose answer arrives later
    // through the command pool. Nothing is sent without an open connection.
    virtual void runTroubleshootingStep(const std::string& channelIP,
                                        const std::string& stepName) = 0;
    // A detail window became the active window; "切换窗口(&C)" brings the latest one back.
    virtual void detailWindowActivated(QWidget* window) = 0;
    // The window the detail windows are centred on and kept above; may be null.
    virtual QWidget* mainWindowWidget() const = 0;
};

} // namespace tarvo
