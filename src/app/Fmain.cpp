// The console's main window: its start-up in order, logs, settings, the polling tick and the
// orderly exit.
#include "app/Fmain.h"

#include "app/AppTexts.h"
#include "app/MainWidgets.h"
#include "display/GridTables.h"
#include "framework/GridView.h"
#include "framework/QtDialogs.h"
#include "framework/QtText.h"
#include "protocol/Message.h"
#include "protocol/MessageBodies.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <random>

namespace tarvo {

namespace {

unsigned timeSeededRandom()
{
    static std::mt19937 generator(static_cast<unsigned>(
        std::chrono::system_clock::now().time_since_epoch().count()));
    return generator();
}

} // namespace

TF_Main::TF_Main(MainOptions opts, QWidget *parent)
    : QMainWindow(parent), options(std::move(opts)),
      consoleLog(options.workingDirectory, options.clock ? options.clock : LocalClock(systemLocalTime)),
      hostListStore(options.workingDirectory + "/" + HOST_LIST_FILE),
      hostTablePtr(makeHostTable()), pbuTablePtr(makePbuTable()),
      hostGridStatePtr(std::make_unique<GridState>(*hostTablePtr)),
      pbuGridStatePtr(std::make_unique<GridState>(*pbuTablePtr)),
      hostMarks(*hostTablePtr, *hostGridStatePtr, kHostKeyField, kHostCheckField,
                checkedHostCount, [this] { refreshCommandStates(CommandMode::AfterChange); }),
      pbuMarks(*pbuTablePtr, *pbuGridStatePtr, kPbuKeyField, kPbuCheckField, checkedPbuCount,
               [this] { refreshCommandStates(CommandMode::AfterChange); })
{
    if (options.dialogs) {
        dialogsPtr = options.dialogs;
    } else {
        ownDialogs = std::make_unique<QtDialogs>(this);
        dialogsPtr = ownDialogs.get();
    }
    flashClock = std::make_unique<FlashClock>();
    buildWindow();
    flashClock->setGrids(hostGridPtr, pbuGridPtr);
    start();
}

TF_Main::~TF_Main()
{
    if (heartbeatThread)
        heartbeatThread->stop();
    if (beepThread)
        beepThread->stop();
    // The views read the tables and the error list: they go first; the sockets go silent.
    delete takeCentralWidget();
    errors.setListener({});
    links.reset();
    gridObserver.reset();
    gridAdder.reset();
    hostPoolPtr.reset();
    commandPool.reset();
    gridRemover.reset();
}

// ---------------------------------------------------------------- start-up

void TF_Main::start()
{
    statusText.clear();
    if (options.startThreads) {
        beepThread = std::make_unique<ErrorBeepThread>(options.beep ? options.beep : systemBeep);
        beepThread->start();
        heartbeatThread = std::make_unique<HeartbeatThread>([this] {
            QMetaObject::invokeMethod(this, [this] { sendHeartbeats(); }, Qt::QueuedConnection);
        });
        heartbeatThread->start();
    } else {
        beepThread = std::make_unique<ErrorBeepThread>(options.beep);
        heartbeatThread = std::make_unique<HeartbeatThread>(nullptr);
    }
    commandPool = std::make_unique<MessageCommandPool>();
    hostPoolPtr = std::make_unique<HostSubjectPool>();
    gridObserver = std::make_unique<DataGridHostObserver>(
        *hostTablePtr, *pbuTablePtr, *hostGridStatePtr, *pbuGridStatePtr, checkedPbuCount,
        [this](const AlarmEvent &event) { raiseAlarm(event); });
    gridAdder = std::make_unique<DataGridHostAdder>(*hostTablePtr, gridObserver.get());
    gridRemover = std::make_unique<DataGridHostRemover>(*hostTablePtr, *pbuTablePtr, checkedPbuCount);
    hostPoolPtr->addAdder(gridAdder.get());
    hostPoolPtr->addRemover(gridRemover.get());
    installCellPainters(*hostGridPtr, *pbuGridPtr, *hostPoolPtr, *flashClock);
    links = std::make_unique<AgentLinks>(
        *this,
        AgentLinkModel{*hostTablePtr, *pbuTablePtr, *hostGridStatePtr, *pbuGridStatePtr,
                       *hostPoolPtr, *commandPool, checkedPbuCount},
        options.workingDirectory, options.connections);
    std::vector<std::string> loadReport;
    {
        SuspendGuard guard(*hostTablePtr);
        loadReport = hostListStore.load(*hostPoolPtr);
        hostTablePtr->first();
    }
    flashClock->start();  // white until its first step
    statusText = "Monitor正常运行";
    logEvent(statusText, true);
    for (const std::string &line : loadReport)
        logEvent(line, false);
    links->registry().connectHosts(false);
    refreshCommandStates(CommandMode::StartUp);
    readSettingsStep();
    buildHeartbeat();
    TimerUpdate->start();
    // From here on a log that cannot be written stops nothing (see writeLog).
    consoleLog.setStrictDirectory(false);
}

void TF_Main::readSettingsStep()
{
    SettingsLoad load;
    if (!options.settingsPath.empty())
        load = loadSettings(options.settingsPath);
    settingsMissing = options.settingsNamed && load.missing;
    if (settingsMissing)
        logEvent("Error[设置文件" + options.settingsPath + "不存在, 使用默认设置]", false);
    for (const std::string &problem : load.problems)
        logEvent(problem, false);
    currentSettings = load.settings;
    const unsigned randomNumber = options.random ? options.random() : timeSeededRandom();
    const int period = updatePeriodMs(currentSettings.intervalSeconds, randomNumber);
    TimerUpdate->setInterval(period);
    debugLogging = currentSettings.debugLogging;
    action(MainAction::MMnDebug)->setChecked(debugLogging);

    statusText = "更新间隔时间: " + std::to_string(currentSettings.intervalSeconds) + "秒";
    logEvent(statusText, false);
    statusText = "实际更新间隔时间: " + std::to_string(period) + "毫秒";
    writeLog(statusText, false, false);
    statusText = "日志Debug开关: " + currentSettings.debugText;
    writeLog(statusText, false, false);
}

std::vector<std::string> TF_Main::unreadableFiles() const
{
    std::vector<std::string> files;
    if (hostListStore.protectedFile())
        files.push_back(hostListStore.path());
    if (settingsMissing)
        files.push_back(options.settingsPath);
    return files;
}

void TF_Main::buildHeartbeat()
{
    Message beat(PROTOCOL_VERSION, "S", "-1", std::make_unique<BeatMessageBody>());
    heartbeatText = beat.encode();
    links->poller().setHeartbeatText(heartbeatText);
}

int TF_Main::updatePeriod() const { return TimerUpdate->interval(); }

// ---------------------------------------------------------------- logging

void TF_Main::writeLog(const std::string &text, bool showInStatusBar, bool addToErrorList)
{
    const std::string line = consoleLog.timeStamp() + text;
    if (showInStatusBar || addToErrorList)
        showLogLine(text, line, showInStatusBar, addToErrorList);
    const ConsoleLog::Written written = consoleLog.append(line);
    // A log that cannot be written is told where the operator looks, once, and so is its
    // recovery; nothing waits for it.
    if (written.change == WriteHealth::Change::Failed) {
        const std::string problem =
            "Error[无法写入日志文件" + written.path + ": " + written.failure + "]";
        showLogLine(problem, consoleLog.timeStamp() + problem, true, true);
    } else if (written.change == WriteHealth::Change::Recovered) {
        writeLog("日志文件恢复写入, 期间丢失" + std::to_string(written.lost) + "条", true, true);
    }
}

void TF_Main::showLogLine(const std::string &text, const std::string &line, bool showInStatusBar,
                          bool addToErrorList)
{
    auto show = [this, text, line, showInStatusBar, addToErrorList] {
        if (showInStatusBar)
            statusBarPtr->setPanelText(0, text);
        if (addToErrorList)
            errors.append(line);
    };
    if (QThread::currentThread() == thread())
        show();
    else
        QMetaObject::invokeMethod(this, show, Qt::QueuedConnection);
}

void TF_Main::reportStatus(const std::string &text)
{
    statusText = text;
    logEvent(statusText, true);
}

void TF_Main::guarded(const std::function<void()> &command)
{
    try {
        command();
    } catch (const std::exception &e) {
        // The log file may be what failed: show it where the operator sees it.
        errors.append(consoleLog.timeStamp() + "Error[" + e.what() + "]");
    }
}

// ---------------------------------------------------------------- host list

void TF_Main::saveHostListFile()
{
    reportHostListSave(hostListStore.save(*hostPoolPtr));
}

void TF_Main::saveHostListStep()
{
    std::optional<std::string> failure;
    if (hostListStore.saveStep(*hostPoolPtr, kHostsPerSaveStep, failure))
        hostListSteps->stop();
    reportHostListSave(failure);
}

void TF_Main::reportHostListSave(const std::optional<std::string> &failure)
{
    for (const std::string &line : hostListStore.takeNotices())
        logEvent(line, false);
    if (failure)
        logEvent(*failure, false);
}


// ---------------------------------------------------------------- timers, help, about, exit

void TF_Main::TimerUpdateTimer()
{
    emit pollTick();
    statusBarPtr->setPanelText(0, timeStamp() + "自动更新HOST信息");
    links->poller().pollHostStatus();
    statusBarPtr->setPanelText(1, countersText(checkedHostCount, hostTablePtr->count(),
                                               checkedPbuCount, pbuTablePtr->count()));
    // In passes of its own: at thousands of hosts the comparison with the file takes a
    // noticeable time.
    hostListSteps->start();
    // A bracket left open by mistake would freeze the grids for good; a command's own bracket
    // (a delete whose confirmation is still open) stays.
    for (RecordSet *table : {hostTablePtr.get(), pbuTablePtr.get()})
        table->resumeUnheld();
}

void TF_Main::raiseAlarm(const AlarmEvent &event)
{
    if (beepThread)
        beepThread->pendingBeeps = 5;
    emit alarmRaised(event);
}

void TF_Main::refreshAfterMessage()
{
    const bool hostPage = activePage() == MainPage::Host;
    GridState &grid = hostPage ? *hostGridStatePtr : *pbuGridStatePtr;
    const std::string_view key = hostPage ? kHostKeyField : kPbuKeyField;
    const std::string remembered = grid.recordSet().value(key);
    refreshCommandStates(CommandMode::AfterChange);
    if (!remembered.empty())
        grid.recordSet().locate(key, remembered);
    if (hostPage)
        hostPopupOpening();
}

void TF_Main::showHelp()
{
    const QString path = QString::fromStdString(options.workingDirectory + "/" + HELP_FILE);
    if (QFileInfo::exists(path)) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
        return;
    }
    dialogsPtr->information(PRODUCT_TITLE, "帮助文件" + HELP_FILE + "不存在");
}

void TF_Main::showAbout()
{
    dialogsPtr->information(PRODUCT_TITLE, PRODUCT_TITLE + "\n" + "软件版本号: " + SOFTWARE_VERSION +
                                               "\n" + "通信协议版本号: " + PROTOCOL_VERSION + "\n");
}

void TF_Main::closeEvent(QCloseEvent *event)
{
    if (closing) {
        event->accept();
        return;
    }
    if (options.confirmExit &&
        !dialogsPtr->confirm(MessageKind::Question, PRODUCT_TITLE, "您确定要退出吗？")) {
        event->ignore();
        return;
    }
    closing = true;
    links->registry().clearRegistry();
    statusText = "Monitor正常退出";
    guarded([this] { logEvent(statusText, true); });
    if (beepThread)
        beepThread->terminate();
    if (heartbeatThread)
        heartbeatThread->terminate();
    TimerUpdate->stop();
    // What the agents told since the last poll's save (a round may still be under way).
    hostListSteps->stop();
    guarded([this] { saveHostListFile(); });
    event->accept();
}

} // namespace tarvo
