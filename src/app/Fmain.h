// The console's main window TF_Main: it creates and wires everything in start-up order, owns
// the logs and settings, and hands agent work to its AgentLinks.
#pragma once

#include "app/AgentLinks.h"
#include "app/CheckMarks.h"
#include "app/ConsoleLog.h"
#include "app/ErrorList.h"
#include "app/Fhostmaintenance.h"
#include "app/HostListFile.h"
#include "app/MainActions.h"
#include "app/Settings.h"
#include "comm/WorkerThreads.h"
#include "comm/MessageCommandPool.h"
#include "display/CommandStates.h"
#include "display/DataGridHostAdder.h"
#include "display/DataGridHostObserver.h"
#include "display/FlashClock.h"
#include "display/HostDetailOwner.h"
#include "display/DataGridHostRemover.h"
#include "framework/Dialogs.h"
#include "framework/GridState.h"
#include "framework/RecordSet.h"
#include "host/HostSubjectPool.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QDialog;
class QSplitter;
class QTabWidget;
class QTimer;

namespace tarvo {

class ErrorListView;
class GridView;
class MonitorStatusBar;

// Sets an action's enabled state when it differs.
void enable(QAction *action, bool on);

// What the console is started with; tests replace the parts that touch the world.
struct MainOptions
{
    std::string workingDirectory = ".";   // host list file and logs/
    std::string settingsPath;              // the settings ini; empty: none
    bool settingsNamed = false;            // named by the operator: its absence is reported
    Dialogs *dialogs = nullptr;            // message boxes; null: Qt message boxes
    LocalClock clock;                      // null: the system's local time
    std::function<int(QDialog &)> runDialog; // shows a modal dialog; null: exec()
    std::function<unsigned()> random;      // null: seeded from the current time
    std::function<void()> beep;            // null: the sound device, else the terminal bell
    bool startThreads = true;              // heartbeat and beep threads
    TMMSocketProcessor::Settings connections; // agent sockets, clock, silence time-out
    bool confirmExit = true;               // ask "您确定要退出吗？" on close
};

class TF_Main : public QMainWindow,
                public HostMaintenanceOwner,
                public AgentLinksOwner,
                public HostDetailOwner
{
    Q_OBJECT
public:
    explicit TF_Main(MainOptions options, QWidget *parent = nullptr);
    ~TF_Main() override;

    // --- logging
    // Status bar (without stamp), error list and the console log file (with stamp).
    void writeLog(const std::string &text, bool showInStatusBar, bool addToErrorList) override;
    std::string timeStamp() const override { return consoleLog.timeStamp(); }
    bool isDebugLogging() const override { return debugLogging; }

    // --- host list
    HostSubjectPool &hostPool() override { return *hostPoolPtr; }
    Dialogs &dialogs() override { return *dialogsPtr; }
    void reportStatus(const std::string &text) override;
    void saveHostListFile() override;
    // Asks and deletes one host; the host grid's cursor stands on its row.
    bool deleteHost(HostSubject &host);

    // --- commands
    void addHostCommand();
    void editHostCommand();
    void deleteCheckedHosts();
    void deleteSelectedHosts();
    void refreshCommandStates(CommandMode mode) override;
    void hostPopupOpening();
    // Check marks and selection of the grid of a page.
    CheckMarks &marks(MainPage page) { return page == MainPage::Host ? hostMarks : pbuMarks; }
    void pbuPopupOpening();
    // A key went down in the grid of a page; true when it was one of the grid's keys.
    bool gridKeyPressed(MainPage page, int key);
    void showHelp();
    void showAbout();
    // The update timer's tick: polling line, counters, saving the host list.
    void TimerUpdateTimer();
    // The poll's save of the host list, kHostsPerSaveStep hosts in each pass of the event
    // loop after the poll's tick.
    void saveHostListStep();
    static constexpr size_t kHostsPerSaveStep = 500;
    // The flash step: changed cells alternate white and yellow every 500 ms.
    void TimerFlashTimer() { flashClock->TimerFlashTimer(); }
    FlashClock &flash() const { return *flashClock; }
    // The heartbeat pass, on the GUI thread.
    void sendHeartbeats() { links->poller().sendHeartbeats(); }
    AgentLinks &agentLinks() const { return *links; }
    size_t commandPoolSize() const { return commandPool->size(); }
    // Restores a minimised window and brings it to the front (a second start asked for it).
    void bringToFront();

    // --- state, for the views and tests
    RecordSet &hostTable() const { return *hostTablePtr; }
    RecordSet &pbuTable() const { return *pbuTablePtr; }
    GridState &hostGridState() const { return *hostGridStatePtr; }
    GridState &pbuGridState() const { return *pbuGridStatePtr; }
    ErrorList &errorList() { return errors; }
    const ErrorList &errorList() const { return errors; }
    ConsoleLog &log() { return consoleLog; }
    const MonitorSettings &settings() const { return currentSettings; }
    // The files the console could not read at start: a host list it will not write over, a
    // settings file named with --ini that is missing.
    std::vector<std::string> unreadableFiles() const;
    int updatePeriod() const;
    const std::string &getStatusText() const { return statusText; }
    const std::string &getHeartbeatText() const { return heartbeatText; }
    std::string statusPanelText(int panel) const;
    ErrorListView *errorListView() const { return errorListViewPtr; }
    GridView *grid(MainPage page) const { return page == MainPage::Host ? hostGridPtr : pbuGridPtr; }
    GridView *hostGrid() const { return hostGridPtr; }
    GridView *pbuGrid() const { return pbuGridPtr; }
    QTabWidget *pages() const { return tabs; }
    ErrorBeepThread *errorBeepThread() const { return beepThread.get(); }
    MainPage activePage() const;
    const MainActions &actions() const { return *actionsPtr; }

    int checkedHostCount = 0;
    int checkedPbuCount = 0;

    // --- the host detail windows
    // Opens (creating it the first time) the detail window of the current row's host, unless
    // that host is stopped; returns the window shown, or nullptr.
    QWidget *openDetailWindow();
    // "报盘机详情监控(&D)": the same for the one ticked host.
    QWidget *openCheckedHostDetail();
    int pollPeriodMs() const override { return updatePeriod(); }
    void runTroubleshootingStep(const std::string &channelIP, const std::string &stepName) override
    {
        links->poller().runTroubleshootingStep(channelIP, stepName);
    }
    void detailWindowActivated(QWidget *window) override { lastDetailWindow = window; }
    QWidget *mainWindowWidget() const override { return const_cast<TF_Main *>(this); }
    QWidget *activeDetailWindow() const { return lastDetailWindow; }

    // --- what the agent links ask of the window
    void raiseAlarm(const AlarmEvent &event) override;
    void refreshAfterMessage() override;
    void showErrorListLine(const std::string &line) override { errors.append(line); }
    void setStatusText(const std::string &text) override { statusText = text; }

signals:
    // Every tick of the update timer, before the status requests go out: the tables show
    // what the previous poll brought.
    void pollTick();
    // Every event that sounds the beeps (after asking for them), and every resource alert.
    void alarmRaised(const tarvo::AlarmEvent &event);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showLogLine(const std::string &text, const std::string &line, bool showInStatusBar,
                     bool addToErrorList);
    // The lines a host list save wants shown: its notices, then its failure if any.
    void reportHostListSave(const std::optional<std::string> &failure);
    void buildWindow();
    void wireMenus();
    void wireToolBar();
    void buildPages();
    void wirePopups();
    void start();
    void readSettingsStep();
    void buildHeartbeat();
    int runDialog(QDialog &dialog);
    void updateWindowStateTicks();
    void applyCommandStates(const CommandStates &states);
    QWidget *openDetailWindowOf(HostSubject *host);
    // Runs a command; an exception is shown in the error list instead of ending the program.
    void guarded(const std::function<void()> &command);
    QAction *action(MainAction id) const { return (*actionsPtr)[id]; }
    // Connects an action to a command run through guarded().
    void onTriggered(MainAction id, std::function<void()> command);

    MainOptions options;
    std::unique_ptr<Dialogs> ownDialogs;
    Dialogs *dialogsPtr = nullptr;
    ConsoleLog consoleLog;
    ErrorList errors;
    HostListStore hostListStore;
    MonitorSettings currentSettings;
    bool settingsMissing = false;

    // Members in the order of their creation at start-up.
    std::unique_ptr<FlashClock> flashClock;
    std::unique_ptr<HeartbeatThread> heartbeatThread;
    bool debugLogging = false;
    std::unique_ptr<DataGridHostObserver> gridObserver;
    std::unique_ptr<DataGridHostAdder> gridAdder;
    std::unique_ptr<DataGridHostRemover> gridRemover;
    std::unique_ptr<HostSubjectPool> hostPoolPtr;
    std::unique_ptr<MessageCommandPool> commandPool;
    std::string statusText;
    std::unique_ptr<ErrorBeepThread> beepThread;
    std::string heartbeatText;
    std::unique_ptr<AgentLinks> links;

    std::unique_ptr<RecordSet> hostTablePtr;
    std::unique_ptr<RecordSet> pbuTablePtr;
    std::unique_ptr<GridState> hostGridStatePtr;
    std::unique_ptr<GridState> pbuGridStatePtr;
    CheckMarks hostMarks;
    CheckMarks pbuMarks;

    // Widgets (owned by Qt's parent chain).
    MonitorStatusBar *statusBarPtr = nullptr;
    ErrorListView *errorListViewPtr = nullptr;
    GridView *hostGridPtr = nullptr;
    GridView *pbuGridPtr = nullptr;
    QTabWidget *tabs = nullptr;
    QSplitter *splitter = nullptr;
    QWidget *workArea = nullptr;
    QTimer *TimerUpdate = nullptr;
    QTimer *hostListSteps = nullptr;
    QPointer<QWidget> lastDetailWindow;
    bool closing = false;

    std::unique_ptr<MainActions> actionsPtr;
};

} // namespace tarvo
