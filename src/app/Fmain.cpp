// The console's main window: its start-up, logs, commands and orderly exit.
#include "app/Fmain.h"

#include "app/AppTexts.h"
#include "app/MainWidgets.h"
#include "display/GridTables.h"
#include "framework/GridView.h"
#include "framework/QtDialogs.h"
#include "framework/QtText.h"
#include "platform/IniFile.h"
#include "protocol/Message.h"
#include "protocol/MessageBodies.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <chrono>
#include <random>

namespace tarvo {

namespace {

const std::string kConnected = "已连接";

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
      hostListStore(options.workingDirectory + "/" + HOST_LIST_FILE)
{
    if (options.dialogs) {
        dialogsPtr = options.dialogs;
    } else {
        ownDialogs = std::make_unique<QtDialogs>(this);
        dialogsPtr = ownDialogs.get();
    }
    hostTablePtr = makeHostTable();
    pbuTablePtr = makePbuTable();
    hostGridStatePtr = std::make_unique<GridState>(*hostTablePtr);
    pbuGridStatePtr = std::make_unique<GridState>(*pbuTablePtr);
    buildWindow();
    start();
}

TF_Main::~TF_Main()
{
    if (heartbeatThread)
        heartbeatThread->stop();
    if (beepThread)
        beepThread->stop();
    // The views read the tables and the error list: they go first.
    delete takeCentralWidget();
    errors.setListener({});
    gridAdder.reset();
    hostPoolPtr.reset();
    commandPool.reset();
    gridRemover.reset();
}

// ---------------------------------------------------------------- window

QAction *TF_Main::makeAction(const std::string &caption, const QKeySequence &shortcut)
{
    auto *action = new QAction(qtText(caption), this);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    actions[caption] = action;
    return action;
}

QAction *TF_Main::findAction(const std::string &caption) const
{
    const auto it = actions.find(caption);
    return it == actions.end() ? nullptr : it->second;
}

void TF_Main::buildWindow()
{
    setWindowTitle(qtText(PRODUCT_TITLE + CAPTION_SUFFIX));
    setMinimumSize(570, 400);
    resize(1180, 680);
    buildMenus();
    buildToolBar();
    buildPages();
    statusBarPtr = new MonitorStatusBar(this);
    setStatusBar(statusBarPtr);
    TimerUpdate = new QTimer(this);
    TimerUpdate->setInterval(5000);
    connect(TimerUpdate, &QTimer::timeout, this, [this] { guarded([this] { TimerUpdateTimer(); }); });
}

void TF_Main::buildMenus()
{
    QMenu *daily = menuBar()->addMenu(qtText("日常操作(&O)"));
    MMnHostCnt = makeAction("连接(&C)", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C));
    MMnHostDCnt = makeAction("断开(&O)", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_O));
    MMnExit = makeAction("退出(&Q)");
    daily->addAction(MMnHostCnt);
    daily->addAction(MMnHostDCnt);
    daily->addSeparator();
    daily->addAction(MMnExit);

    QMenu *monitor = menuBar()->addMenu(qtText("状态监控(&M)"));
    MMnHOSTStatus = makeAction("报盘机状态一览(&M)", QKeySequence(Qt::CTRL | Qt::Key_H));
    MMnPBUStatus = makeAction("PBU状态一览(&P) ", QKeySequence(Qt::CTRL | Qt::Key_P));
    MMnHOSTDetail = makeAction("报盘机详情监控(&D)", QKeySequence(Qt::Key_F5));
    monitor->addAction(MMnHOSTStatus);
    monitor->addAction(MMnPBUStatus);
    monitor->addSeparator();
    monitor->addAction(MMnHOSTDetail);

    QMenu *tools = menuBar()->addMenu(qtText("工具(&T)"));
    MMnDebug = makeAction("记录所有收发消息");
    MMnDebug->setCheckable(true);
    tools->addAction(MMnDebug);

    MMnWindow = menuBar()->addMenu(qtText("窗口(&W)"));
    MMnLog = makeAction("系统日志(&L)", QKeySequence(Qt::Key_F3));
    MMnLog->setCheckable(true);
    MMnLog->setChecked(true);
    MMnHelp = makeAction("帮助(&H)", QKeySequence(Qt::Key_F1));
    MMnSwitch = makeAction("切换窗口(&C)", QKeySequence(Qt::Key_F8));
    MMnMinimize = makeAction("最小化(&I)", QKeySequence(Qt::Key_F9));
    MMnNormal = makeAction("正常窗口(&N)", QKeySequence(Qt::Key_F10));
    MMnMaximize = makeAction("最大化(&M)", QKeySequence(Qt::Key_F11));
    for (QAction *a : {MMnMinimize, MMnNormal, MMnMaximize})
        a->setCheckable(true);
    MMnWindow->addAction(MMnLog);
    MMnWindow->addAction(MMnHelp);
    MMnWindow->addAction(MMnSwitch);
    MMnWindow->addSeparator();
    MMnWindow->addAction(MMnMinimize);
    MMnWindow->addAction(MMnNormal);
    MMnWindow->addAction(MMnMaximize);

    MMnAbout = makeAction("关于(&A)");
    menuBar()->addAction(MMnAbout);
    menuBar()->addAction(MMnExit);

    // Hidden items: only their shortcuts are reachable.
    N7 = makeAction("选中所有", QKeySequence(Qt::CTRL | Qt::Key_A));
    N8 = makeAction("取消选中", QKeySequence(Qt::CTRL | Qt::Key_Z));
    addAction(N7);
    addAction(N8);

    connect(MMnExit, &QAction::triggered, this, &QWidget::close);
    connect(MMnDebug, &QAction::triggered, this, [this] {
        debugLogging = !debugLogging;
        MMnDebug->setChecked(debugLogging);
    });
    connect(MMnLog, &QAction::triggered, this, [this] {
        errorListViewPtr->setVisible(MMnLog->isChecked());
    });
    connect(MMnHelp, &QAction::triggered, this, [this] { guarded([this] { showHelp(); }); });
    connect(MMnAbout, &QAction::triggered, this, [this] { showAbout(); });
    connect(MMnSwitch, &QAction::triggered, this, [this] {
        if (lastDetailWindow) {
            lastDetailWindow->show();
            lastDetailWindow->raise();
            lastDetailWindow->activateWindow();
        }
    });
    auto setState = [this](Qt::WindowState state) {
        setWindowState((windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) | state);
        if (state != Qt::WindowMinimized) {
            raise();
            activateWindow();
        }
        updateWindowStateTicks();
    };
    connect(MMnMinimize, &QAction::triggered, this, [setState] { setState(Qt::WindowMinimized); });
    connect(MMnNormal, &QAction::triggered, this, [setState] { setState(Qt::WindowNoState); });
    connect(MMnMaximize, &QAction::triggered, this, [setState] { setState(Qt::WindowMaximized); });
    connect(MMnWindow, &QMenu::aboutToShow, this, &TF_Main::updateWindowStateTicks);

    connect(MMnHOSTStatus, &QAction::triggered, this, [this] {
        tabs->setCurrentIndex(0);
        refreshCommandStates(1);
    });
    connect(MMnPBUStatus, &QAction::triggered, this, [this] {
        tabs->setCurrentIndex(1);
        refreshCommandStates(1);
    });
    connect(N7, &QAction::triggered, this, [this] { checkAll(activePage() == MainPage::Host); });
    connect(N8, &QAction::triggered, this, [this] { uncheckAll(activePage() == MainPage::Host); });
}

void TF_Main::buildToolBar()
{
    toolBar = addToolBar(qtText("工具栏"));
    toolBar->setMovable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    BtnConnect = makeAction("连接");
    BtnConnect->setToolTip(qtText("连接选中的主机"));
    BtnConnect->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    BtnDisconnect = makeAction("断开");
    BtnDisconnect->setToolTip(qtText("断开选中的主机"));
    BtnDisconnect->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    BtnAddHost = makeAction("添加报盘机");
    BtnAddHost->setToolTip(qtText("添加一台新主机"));
    BtnAddHost->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    BtnDeleteHost = makeAction("删除报盘机");
    BtnDeleteHost->setToolTip(qtText("删除选中主机"));
    BtnDeleteHost->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    toolBar->addAction(BtnConnect);
    toolBar->addAction(BtnDisconnect);
    toolBar->addSeparator();
    toolBar->addAction(BtnAddHost);
    toolBar->addAction(BtnDeleteHost);

    connect(BtnAddHost, &QAction::triggered, this, [this] { guarded([this] { addHostCommand(); }); });
    connect(BtnDeleteHost, &QAction::triggered, this,
            [this] { guarded([this] { deleteCheckedHosts(); }); });
}

void TF_Main::buildPages()
{
    workArea = new QWidget(this);
    auto *workLayout = new QVBoxLayout(workArea);
    workLayout->setContentsMargins(2, 2, 2, 2);
    splitter = new QSplitter(Qt::Vertical, workArea);
    splitter->setChildrenCollapsible(false);
    tabs = new QTabWidget(splitter);

    auto makePage = [this](GridView *&grid, GridState &state, std::vector<ColumnDef> columns,
                           std::string_view sortField, bool hostPage) {
        auto *page = new QWidget;
        auto *layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        grid = new GridView(state, std::move(columns), sortField, page);
        grid->setContextMenuPolicy(Qt::CustomContextMenu);
        grid->setCheckToggled([this, hostPage](RecId, const std::string &, bool checked) {
            onCheckToggled(hostPage, checked);
        });
        layout->addWidget(grid);
        auto *buttons = new QHBoxLayout;
        auto *all = new QPushButton(qtText("全选"), page);
        all->setToolTip(qtText(hostPage ? "选中全部主机" : "选中全部主机的PBU"));
        auto *none = new QPushButton(qtText("清除"), page);
        none->setToolTip(qtText("取消全部选中"));
        buttons->addWidget(all);
        buttons->addWidget(none);
        buttons->addStretch();
        layout->addLayout(buttons);
        connect(all, &QPushButton::clicked, this, [this, hostPage] { checkAll(hostPage); });
        connect(none, &QPushButton::clicked, this, [this, hostPage] { uncheckAll(hostPage); });
        return page;
    };
    tabs->addTab(makePage(hostGridPtr, *hostGridStatePtr, hostGridColumns(), kHostSortField, true),
                 qtText("报盘机概况"));
    tabs->addTab(makePage(pbuGridPtr, *pbuGridStatePtr, pbuGridColumns(), kPbuSortField, false),
                 qtText("PBU概况"));
    connect(tabs, &QTabWidget::currentChanged, this, [this] { refreshCommandStates(1); });

    errorListViewPtr = new ErrorListView(errors, splitter);
    errorListViewPtr->setContextMenuPolicy(Qt::ActionsContextMenu);
    PMnClearLog = makeAction("删除全部日志(&D)");
    errorListViewPtr->addAction(PMnClearLog);
    connect(PMnClearLog, &QAction::triggered, this, [this] { errors.clear(); });
    splitter->addWidget(tabs);
    splitter->addWidget(errorListViewPtr);
    workLayout->addWidget(splitter);
    splitter->installEventFilter(this);
    setCentralWidget(workArea);

    // Host grid pop-up menu; its shortcuts work while the grid has the focus.
    PMnHostPopup = new QMenu(this);
    PMnHSltHl = makeAction("选中高亮报盘机(&L)");
    PMnHCnlHl = makeAction("取消高亮选中(&Z)");
    PMnHostCnt = makeAction("连接当前报盘机(&C)");
    PMnHostDCnt = makeAction("断开当前报盘机(&O)");
    PMnHostAdd = makeAction("添加报盘机信息(Ins)", QKeySequence(Qt::Key_Insert));
    PMnHostDel = makeAction("删除当前报盘机(Del)", QKeySequence(Qt::Key_Delete));
    PMnHostEdit = makeAction("更改报盘机信息(F2)", QKeySequence(Qt::Key_F2));
    PMnHostDetail = makeAction("查看详细信息(F5)");
    for (QAction *a : {PMnHostAdd, PMnHostDel, PMnHostEdit}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        a->setShortcutVisibleInContextMenu(false);
        hostGridPtr->addAction(a);
    }
    PMnHostPopup->addAction(PMnHSltHl);
    PMnHostPopup->addAction(PMnHCnlHl);
    PMnHostPopup->addSeparator();
    PMnHostPopup->addAction(PMnHostCnt);
    PMnHostPopup->addAction(PMnHostDCnt);
    PMnHostPopup->addAction(PMnHostAdd);
    PMnHostPopup->addAction(PMnHostDel);
    PMnHostPopup->addSeparator();
    PMnHostPopup->addAction(PMnHostEdit);
    PMnHostPopup->addAction(PMnHostDetail);
    connect(PMnHostPopup, &QMenu::aboutToShow, this, &TF_Main::hostPopupOpening);
    connect(hostGridPtr, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PMnHostPopup->popup(hostGridPtr->viewport()->mapToGlobal(at)); });
    connect(PMnHostAdd, &QAction::triggered, this, [this] { guarded([this] { addHostCommand(); }); });
    connect(PMnHostDel, &QAction::triggered, this,
            [this] { guarded([this] { deleteSelectedHosts(); }); });
    connect(PMnHostEdit, &QAction::triggered, this, [this] { guarded([this] { editHostCommand(); }); });
    connect(PMnHSltHl, &QAction::triggered, this, [this] {
        auto &state = *hostGridStatePtr;
        for (RecId id : state.selectedRecIds()) {
            if (hostTablePtr->locateRecId(id) && !hostTablePtr->asBool(kHostCheckField)) {
                hostTablePtr->setValueById(id, kHostCheckField, std::string(kTrueText));
                ++checkedHostCount;
            }
        }
        refreshCommandStates(1);
    });
    connect(PMnHCnlHl, &QAction::triggered, this, [this] {
        for (RecId id : hostGridStatePtr->selectedRecIds()) {
            if (hostTablePtr->locateRecId(id) && hostTablePtr->asBool(kHostCheckField)) {
                hostTablePtr->setValueById(id, kHostCheckField, std::string(kFalseText));
                --checkedHostCount;
            }
        }
        refreshCommandStates(1);
    });

    PMnPBUPopup = new QMenu(this);
    PMnPSltHl = makeAction("选中高亮PBU(&L)");
    PMnPCnlHl = new QAction(qtText("取消高亮选中(&Z)"), this);
    PMnPBUPopup->addAction(PMnPSltHl);
    PMnPBUPopup->addAction(PMnPCnlHl);
    connect(pbuGridPtr, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PMnPBUPopup->popup(pbuGridPtr->viewport()->mapToGlobal(at)); });
}

bool TF_Main::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == splitter && event->type() == QEvent::Resize && MMnLog->isChecked()) {
        // The splitter lays its parts out after this event; size them once it has.
        QMetaObject::invokeMethod(this, [this] {
            const int height = splitter->height() - splitter->handleWidth();
            splitter->setSizes({height - height / 5, height / 5});
        }, Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

void TF_Main::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    updateWindowStateTicks();
}

void TF_Main::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        updateWindowStateTicks();
}

void TF_Main::updateWindowStateTicks()
{
    const Qt::WindowStates state = windowState();
    const bool minimised = state & Qt::WindowMinimized;
    const bool maximised = !minimised && (state & Qt::WindowMaximized);
    MMnMinimize->setChecked(minimised);
    MMnMaximize->setChecked(maximised);
    MMnNormal->setChecked(!minimised && !maximised);
}

void TF_Main::bringToFront()
{
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

MainPage TF_Main::activePage() const
{
    return tabs->currentIndex() == 1 ? MainPage::Pbu : MainPage::Host;
}

std::string TF_Main::statusPanelText(int panel) const { return statusBarPtr->panelText(panel); }

// ---------------------------------------------------------------- start-up

void TF_Main::start()
{
    statusText.clear();
    if (options.startThreads) {
        beepThread = std::make_unique<ErrorBeepThread>(options.beep ? options.beep : terminalBeep);
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
    gridAdder = std::make_unique<DataGridHostAdder>(*hostTablePtr, nullptr);
    gridRemover = std::make_unique<DataGridHostRemover>(*hostTablePtr, *pbuTablePtr, checkedPbuCount);
    hostPoolPtr->addAdder(gridAdder.get());
    hostPoolPtr->addRemover(gridRemover.get());
    {
        SuspendGuard guard(*hostTablePtr);
        loadHostList(hostListStore.path(), *hostPoolPtr);
        hostTablePtr->first();
    }
    statusText = "Monitor正常运行";
    logEvent(statusText, true);
    refreshCommandStates(0);
    readSettingsStep();
    buildHeartbeat();
    TimerUpdate->start();
}

void TF_Main::readSettingsStep()
{
    IniFile ini;
    if (!options.settingsPath.empty())
        ini = IniFile::load(options.settingsPath);
    currentSettings = readSettings(ini);
    const unsigned randomNumber = options.random ? options.random() : timeSeededRandom();
    const int period = updatePeriodMs(currentSettings.intervalSeconds, randomNumber);
    TimerUpdate->setInterval(period);
    debugLogging = currentSettings.debugLogging;
    MMnDebug->setChecked(debugLogging);

    statusText = "更新间隔时间: " + std::to_string(currentSettings.intervalSeconds) + "秒";
    logEvent(statusText, false);
    statusText = "实际更新间隔时间: " + std::to_string(period) + "毫秒";
    writeLog(statusText, false, false);
    statusText = "日志Debug开关: " + currentSettings.debugText;
    writeLog(statusText, false, false);
}

void TF_Main::buildHeartbeat()
{
    Message beat(PROTOCOL_VERSION, "S", "-1", std::make_unique<BeatMessageBody>());
    heartbeatText = beat.encode();
}

int TF_Main::updatePeriod() const { return TimerUpdate->interval(); }

// ---------------------------------------------------------------- logging

void TF_Main::writeLog(const std::string &text, bool showInStatusBar, bool addToErrorList)
{
    const std::string line = consoleLog.timeStamp() + text;
    if (showInStatusBar || addToErrorList) {
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
    consoleLog.append(line);
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
    if (auto failure = hostListStore.save(*hostPoolPtr))
        logEvent(*failure, false);
}

int TF_Main::runDialog(QDialog &dialog)
{
    if (options.runDialog)
        return options.runDialog(dialog);
    return dialog.exec();
}

void TF_Main::addHostCommand()
{
    THostMaintenance dialog(*this, this);
    if (runDialog(dialog) == QDialog::Accepted)
        saveHostListFile();
    refreshCommandStates(1);
}

void TF_Main::editHostCommand()
{
    if (hostTablePtr->isEmpty())
        return;
    HostSubject *host = hostPoolPtr->find(hostTablePtr->value(kHostKeyField));
    if (!host)
        return;
    {
        THOSTEdit dialog(*this, *host, this);
        if (runDialog(dialog) == QDialog::Accepted) {
            saveHostListFile();
            // Until a grid observer follows the host, its row shows the new alias here.
            if (hostTablePtr->locate(kHostKeyField, host->getChannelIP()) &&
                hostTablePtr->value("hostName") != host->getHostName()) {
                hostTablePtr->edit();
                hostTablePtr->setValue("hostName", host->getHostName());
                hostTablePtr->post();
            }
        }
    }
    refreshCommandStates(1);
}

bool TF_Main::deleteHost(HostSubject &host)
{
    const std::string ip = host.getChannelIP();
    if (!dialogsPtr->confirm(MessageKind::Information, PRODUCT_TITLE,
                             "您确定要删除IP为" + ip + "的报盘机吗?"))
        return false;
    hostTablePtr->locate(kHostKeyField, ip);
    if (hostTablePtr->value("Connection") == kConnected && disconnectHost)
        disconnectHost(ip);
    if (hostTablePtr->asBool(kHostCheckField))
        --checkedHostCount;
    hostPoolPtr->remove(&host);
    logEvent("删除报盘机:" + ip, true);
    return true;
}

void TF_Main::deleteCheckedHosts()
{
    RecordSet &table = *hostTablePtr;
    if (table.isEmpty())
        return;
    const auto mark = hostGridStatePtr->remember(kHostKeyField);
    {
        SuspendGuard guard(table);
        table.first();
        while (!table.eof() && !table.isEmpty()) {
            const RecId row = table.currentRecId();
            if (table.asBool(kHostCheckField)) {
                HostSubject *host = hostPoolPtr->find(table.value(kHostKeyField));
                // After a delete the cursor already stands on the row that followed.
                if (host && deleteHost(*host) && !table.contains(row))
                    continue;
            }
            table.next();
        }
        saveHostListFile();
        hostGridStatePtr->restore(mark, kHostKeyField);
    }
    refreshCommandStates(1);
}

void TF_Main::deleteSelectedHosts()
{
    RecordSet &table = *hostTablePtr;
    const auto mark = hostGridStatePtr->remember(kHostKeyField);
    {
        SuspendGuard guard(table);
        // Each selected row is asked about once, whatever the deletes do to the selection.
        for (RecId id : hostGridStatePtr->selectedRecIds()) {
            if (!table.locateRecId(id))
                continue;
            if (HostSubject *host = hostPoolPtr->find(table.value(kHostKeyField)))
                deleteHost(*host);
        }
        saveHostListFile();
        hostGridStatePtr->restore(mark, kHostKeyField);
    }
    refreshCommandStates(1);
}

// ---------------------------------------------------------------- command states

void TF_Main::refreshCommandStates(int mode)
{
    const CommandStates states = computeCommandStates(mode, activePage(), *hostTablePtr,
                                                      *pbuTablePtr, checkedHostCount,
                                                      checkedPbuCount);
    applyCommandStates(states);
}

void TF_Main::applyCommandStates(const CommandStates &s)
{
    auto apply = [](QAction *action, const std::optional<bool> &enabled) {
        if (enabled)
            action->setEnabled(*enabled);
    };
    apply(BtnAddHost, s.addHost);
    apply(BtnDeleteHost, s.deleteHost);
    apply(BtnConnect, s.connect);
    apply(BtnDisconnect, s.disconnect);
    apply(MMnHostCnt, s.menuConnect);
    apply(MMnHostDCnt, s.menuDisconnect);
    apply(MMnHOSTStatus, s.hostStatusView);
    apply(MMnPBUStatus, s.pbuStatusView);
    apply(MMnHOSTDetail, s.hostDetail);
    if (s.activePage) {
        QSignalBlocker block(tabs);
        tabs->setCurrentIndex(*s.activePage == MainPage::Host ? 0 : 1);
    }
    if (s.versionPanel)
        statusBarPtr->setPanelText(2, *s.versionPanel);
    statusBarPtr->setPanelText(1, s.countersPanel);
}

void TF_Main::hostPopupOpening()
{
    for (QAction *a : {PMnHSltHl, PMnHCnlHl, PMnHostAdd, PMnHostDel, PMnHostEdit})
        a->setEnabled(true);
    bool canConnect = false;
    bool canDisconnect = false;
    bool canShowDetails = false;
    const auto selected = hostGridStatePtr->selectedRecIds();
    const RecordSet &table = *hostTablePtr;
    for (RecId id : selected) {
        const int row = table.positionOf(id);
        if (row < 0)
            continue;
        if (table.valueAt(row, "Connection") == kConnected) {
            canDisconnect = true;
            if (!table.valueAt(row, "OESStatusA").empty() &&
                !table.valueAt(row, "OESStatusB").empty())
                canShowDetails = true;
        } else {
            canConnect = true;
        }
    }
    const bool canEdit = selected.size() == 1;
    if (!canEdit)
        canShowDetails = false;
    PMnHostEdit->setEnabled(canEdit);
    PMnHostDetail->setEnabled(canShowDetails);
    PMnHostCnt->setEnabled(canConnect);
    PMnHostDCnt->setEnabled(canDisconnect);
}

void TF_Main::onCheckToggled(bool hostGrid, bool checked)
{
    int &counter = hostGrid ? checkedHostCount : checkedPbuCount;
    counter += checked ? 1 : -1;
    refreshCommandStates(1);
}

void TF_Main::checkAll(bool hostGrid)
{
    RecordSet &table = hostGrid ? *hostTablePtr : *pbuTablePtr;
    const std::string_view field = hostGrid ? kHostCheckField : kPbuCheckField;
    int &counter = hostGrid ? checkedHostCount : checkedPbuCount;
    {
        SuspendGuard guard(table);
        for (int i = 0; i < table.count(); ++i) {
            if (table.valueAt(i, field) != kTrueText) {
                table.setValueById(table.recIdAt(i), field, std::string(kTrueText));
                ++counter;
            }
        }
    }
    refreshCommandStates(1);
}

void TF_Main::uncheckAll(bool hostGrid)
{
    RecordSet &table = hostGrid ? *hostTablePtr : *pbuTablePtr;
    if (table.isEmpty())
        return;
    const std::string_view field = hostGrid ? kHostCheckField : kPbuCheckField;
    {
        SuspendGuard guard(table);
        for (int i = 0; i < table.count(); ++i)
            table.setValueById(table.recIdAt(i), field, std::string(kFalseText));
    }
    (hostGrid ? checkedHostCount : checkedPbuCount) = 0;
    refreshCommandStates(1);
}

// ---------------------------------------------------------------- timers, help, about, exit

void TF_Main::TimerUpdateTimer()
{
    statusBarPtr->setPanelText(0, timeStamp() + "自动更新HOST信息");
    statusBarPtr->setPanelText(1, countersText(checkedHostCount, hostTablePtr->count(),
                                               checkedPbuCount, pbuTablePtr->count()));
    saveHostListFile();
}

void TF_Main::sendHeartbeats() {}

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
    statusText = "Monitor正常退出";
    guarded([this] { logEvent(statusText, true); });
    if (beepThread)
        beepThread->terminate();
    if (heartbeatThread)
        heartbeatThread->terminate();
    TimerUpdate->stop();
    event->accept();
}

} // namespace tarvo
