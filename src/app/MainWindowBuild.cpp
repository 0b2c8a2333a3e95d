// The main window's widgets: menus, tool bar, pages, pop-up menus and their wiring to the
// commands, and the window-state ticks. No console logic lives here.
#include "app/Fmain.h"

#include "app/AppTexts.h"
#include "app/MainWidgets.h"
#include "display/GridTables.h"
#include "framework/GridView.h"
#include "framework/QtText.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QTabBar>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace tarvo {

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
    connect(MMnHostCnt, &QAction::triggered, this,
            [this] { guarded([this] { links->connectHosts(true); }); });
    connect(MMnHostDCnt, &QAction::triggered, this,
            [this] { guarded([this] { links->disconnectCheckedHosts(); }); });
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
    // F9 shows the console in front of everything else ("前端显示"), restoring it when it was
    // minimised: a window that hides itself cannot be in front.
    MMnMinimize->setStatusTip(qtText("前端显示"));
    connect(MMnMinimize, &QAction::triggered, this, [this] {
        bringToFront();
        updateWindowStateTicks();
    });
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

    connect(BtnConnect, &QAction::triggered, this,
            [this] { guarded([this] { links->connectHosts(true); }); });
    connect(BtnDisconnect, &QAction::triggered, this,
            [this] { guarded([this] { links->disconnectCheckedHosts(); }); });
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
    // Their shortcuts (F2, F5) work without opening the menu: the items follow the selection.
    connect(hostGridPtr->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TF_Main::hostPopupOpening);
    connect(hostGridPtr, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PMnHostPopup->popup(hostGridPtr->viewport()->mapToGlobal(at)); });
    connect(PMnHostCnt, &QAction::triggered, this,
            [this] { guarded([this] { links->connectSelectedHosts(); }); });
    connect(PMnHostDCnt, &QAction::triggered, this,
            [this] { guarded([this] { links->disconnectSelectedHosts(); }); });
    connect(PMnHostDetail, &QAction::triggered, this,
            [this] { guarded([this] { openDetailWindow(); }); });
    connect(MMnHOSTDetail, &QAction::triggered, this,
            [this] { guarded([this] { openCheckedHostDetail(); }); });
    connect(PMnHostAdd, &QAction::triggered, this, [this] { guarded([this] { addHostCommand(); }); });
    connect(PMnHostDel, &QAction::triggered, this,
            [this] { guarded([this] { deleteSelectedHosts(); }); });
    connect(PMnHostEdit, &QAction::triggered, this, [this] { guarded([this] { editHostCommand(); }); });
    connect(PMnHSltHl, &QAction::triggered, this, [this] { checkSelectedRows(true); });
    connect(PMnHCnlHl, &QAction::triggered, this, [this] { uncheckSelectedRows(true); });

    PMnPBUPopup = new QMenu(this);
    PMnPSltHl = makeAction("选中高亮PBU(&L)");
    PMnPCnlHl = new QAction(qtText("取消高亮选中(&Z)"), this);
    PMnPBUPopup->addAction(PMnPSltHl);
    PMnPBUPopup->addAction(PMnPCnlHl);
    connect(PMnPBUPopup, &QMenu::aboutToShow, this, &TF_Main::pbuPopupOpening);
    connect(PMnPSltHl, &QAction::triggered, this, [this] { checkSelectedRows(false); });
    connect(PMnPCnlHl, &QAction::triggered, this, [this] { uncheckSelectedRows(false); });
    // The tab control opens the PBU pop-up menu too.
    tabs->tabBar()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tabs->tabBar(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PMnPBUPopup->popup(tabs->tabBar()->mapToGlobal(at)); });
    for (GridView *grid : {hostGridPtr, pbuGridPtr}) {
        const bool hostGrid = grid == hostGridPtr;
        grid->installEventFilter(this);
        // A header that turns bold with the selection makes the grid jump; keep it steady.
        grid->horizontalHeader()->setHighlightSections(false);
        connect(grid, &QAbstractItemView::doubleClicked, this,
                [this, hostGrid] { guarded([this, hostGrid] { toggleCurrentCheck(hostGrid); }); });
    }
    connect(pbuGridPtr, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PMnPBUPopup->popup(pbuGridPtr->viewport()->mapToGlobal(at)); });
}

bool TF_Main::eventFilter(QObject *watched, QEvent *event)
{
    // F5 in the host grid belongs to its pop-up item "查看详细信息(F5)" (the selected host);
    // elsewhere it is the main menu's "报盘机详情监控(&D)" (the one ticked host).
    if (event->type() == QEvent::ShortcutOverride && watched == hostGridPtr &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_F5) {
        event->accept();
        return true;
    }
    if (event->type() == QEvent::KeyPress && (watched == hostGridPtr || watched == pbuGridPtr)) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (gridKeyPressed(watched == hostGridPtr, key))
            return true;
    }
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

} // namespace tarvo
