// The main window's widgets: its pages, the wiring of menus, tool bar, pop-up menus and grid
// keys to the commands, and the window-state ticks. No console logic lives here.
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
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tarvo {

namespace {
using A = MainAction;
} // namespace

void TF_Main::onTriggered(MainAction id, std::function<void()> command)
{
    connect(action(id), &QAction::triggered, this,
            [this, command = std::move(command)] { guarded(command); });
}

void TF_Main::buildWindow()
{
    setWindowTitle(qtText(PRODUCT_TITLE + CAPTION_SUFFIX));
    setMinimumSize(570, 400);
    resize(1180, 680);
    actionsPtr = std::make_unique<MainActions>(*this);
    wireMenus();
    wireToolBar();
    buildPages();
    wirePopups();
    statusBarPtr = new MonitorStatusBar(this);
    setStatusBar(statusBarPtr);
    TimerUpdate = new QTimer(this);
    TimerUpdate->setInterval(5000);
    connect(TimerUpdate, &QTimer::timeout, this,
            [this] { guarded([this] { TimerUpdateTimer(); }); });
    hostListSteps = new QTimer(this);
    hostListSteps->setInterval(0);
    connect(hostListSteps, &QTimer::timeout, this,
            [this] { guarded([this] { saveHostListStep(); }); });
}

void TF_Main::wireMenus()
{
    connect(action(A::MMnExit), &QAction::triggered, this, &QWidget::close);
    onTriggered(A::MMnHostCnt, [this] { links->registry().connectHosts(true); });
    onTriggered(A::MMnHostDCnt, [this] { links->registry().disconnectCheckedHosts(); });
    connect(action(A::MMnDebug), &QAction::triggered, this, [this] {
        debugLogging = !debugLogging;
        action(A::MMnDebug)->setChecked(debugLogging);
    });
    connect(action(A::MMnLog), &QAction::triggered, this, [this] {
        errorListViewPtr->setVisible(action(A::MMnLog)->isChecked());
    });
    onTriggered(A::MMnHelp, [this] { showHelp(); });
    connect(action(A::MMnAbout), &QAction::triggered, this, [this] { showAbout(); });
    connect(action(A::MMnSwitch), &QAction::triggered, this, [this] {
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
    connect(action(A::MMnMinimize), &QAction::triggered, this, [this] {
        bringToFront();
        updateWindowStateTicks();
    });
    connect(action(A::MMnNormal), &QAction::triggered, this,
            [setState] { setState(Qt::WindowNoState); });
    connect(action(A::MMnMaximize), &QAction::triggered, this,
            [setState] { setState(Qt::WindowMaximized); });
    connect(actionsPtr->windowMenu(), &QMenu::aboutToShow, this, &TF_Main::updateWindowStateTicks);

    connect(action(A::MMnHOSTStatus), &QAction::triggered, this, [this] {
        tabs->setCurrentIndex(0);
        refreshCommandStates(CommandMode::AfterChange);
    });
    connect(action(A::MMnPBUStatus), &QAction::triggered, this, [this] {
        tabs->setCurrentIndex(1);
        refreshCommandStates(CommandMode::AfterChange);
    });
    connect(action(A::N7), &QAction::triggered, this, [this] { marks(activePage()).checkAll(); });
    connect(action(A::N8), &QAction::triggered, this, [this] { marks(activePage()).uncheckAll(); });
}

void TF_Main::wireToolBar()
{
    onTriggered(A::BtnConnect, [this] { links->registry().connectHosts(true); });
    onTriggered(A::BtnDisconnect, [this] { links->registry().disconnectCheckedHosts(); });
    onTriggered(A::BtnAddHost, [this] { addHostCommand(); });
    onTriggered(A::BtnDeleteHost, [this] { deleteCheckedHosts(); });
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
                           std::string_view sortField, MainPage page) {
        auto *widget = new QWidget;
        auto *layout = new QVBoxLayout(widget);
        layout->setContentsMargins(0, 0, 0, 0);
        grid = new GridView(state, std::move(columns), sortField, widget);
        grid->setContextMenuPolicy(Qt::CustomContextMenu);
        grid->setCheckToggled([this, page](RecId, const std::string &, bool checked) {
            marks(page).checkToggled(checked);
        });
        layout->addWidget(grid);
        auto *buttons = new QHBoxLayout;
        auto *all = new QPushButton(qtText("全选"), widget);
        all->setToolTip(qtText(page == MainPage::Host ? "选中全部主机" : "选中全部主机的PBU"));
        auto *none = new QPushButton(qtText("清除"), widget);
        none->setToolTip(qtText("取消全部选中"));
        buttons->addWidget(all);
        buttons->addWidget(none);
        buttons->addStretch();
        layout->addLayout(buttons);
        connect(all, &QPushButton::clicked, this, [this, page] { marks(page).checkAll(); });
        connect(none, &QPushButton::clicked, this, [this, page] { marks(page).uncheckAll(); });
        return widget;
    };
    tabs->addTab(makePage(hostGridPtr, *hostGridStatePtr, hostGridColumns(), kHostSortField,
                          MainPage::Host),
                 qtText("报盘机概况"));
    tabs->addTab(makePage(pbuGridPtr, *pbuGridStatePtr, pbuGridColumns(), kPbuSortField,
                          MainPage::Pbu),
                 qtText("PBU概况"));
    connect(tabs, &QTabWidget::currentChanged, this,
            [this] { refreshCommandStates(CommandMode::AfterChange); });

    errorListViewPtr = new ErrorListView(errors, splitter);
    errorListViewPtr->setContextMenuPolicy(Qt::ActionsContextMenu);
    errorListViewPtr->addAction(action(A::PMnClearLog));
    connect(action(A::PMnClearLog), &QAction::triggered, this, [this] { errors.clear(); });
    splitter->addWidget(tabs);
    splitter->addWidget(errorListViewPtr);
    workLayout->addWidget(splitter);
    splitter->installEventFilter(this);
    setCentralWidget(workArea);
}

void TF_Main::wirePopups()
{
    // The host grid's pop-up items Ins, Del and F2 work while the grid has the focus.
    for (MainAction id : {A::PMnHostAdd, A::PMnHostDel, A::PMnHostEdit})
        hostGridPtr->addAction(action(id));
    QMenu *hostPopup = actionsPtr->hostPopup();
    connect(hostPopup, &QMenu::aboutToShow, this, &TF_Main::hostPopupOpening);
    // Their shortcuts (F2, F5) work without opening the menu: the items follow the selection.
    connect(hostGridPtr->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TF_Main::hostPopupOpening);
    connect(hostGridPtr, &QWidget::customContextMenuRequested, this,
            [this, hostPopup](const QPoint &at) {
                hostPopup->popup(hostGridPtr->viewport()->mapToGlobal(at));
            });
    onTriggered(A::PMnHostCnt, [this] { links->registry().connectSelectedHosts(); });
    onTriggered(A::PMnHostDCnt, [this] { links->registry().disconnectSelectedHosts(); });
    onTriggered(A::PMnHostDetail, [this] { openDetailWindow(); });
    onTriggered(A::MMnHOSTDetail, [this] { openCheckedHostDetail(); });
    onTriggered(A::PMnHostAdd, [this] { addHostCommand(); });
    onTriggered(A::PMnHostDel, [this] { deleteSelectedHosts(); });
    onTriggered(A::PMnHostEdit, [this] { editHostCommand(); });
    connect(action(A::PMnHSltHl), &QAction::triggered, this,
            [this] { hostMarks.checkSelectedRows(); });
    connect(action(A::PMnHCnlHl), &QAction::triggered, this,
            [this] { hostMarks.uncheckSelectedRows(); });

    QMenu *pbuPopup = actionsPtr->pbuPopup();
    connect(pbuPopup, &QMenu::aboutToShow, this, &TF_Main::pbuPopupOpening);
    connect(action(A::PMnPSltHl), &QAction::triggered, this,
            [this] { pbuMarks.checkSelectedRows(); });
    connect(action(A::PMnPCnlHl), &QAction::triggered, this,
            [this] { pbuMarks.uncheckSelectedRows(); });
    // The tab control opens the PBU pop-up menu too.
    tabs->tabBar()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tabs->tabBar(), &QWidget::customContextMenuRequested, this,
            [this, pbuPopup](const QPoint &at) {
                pbuPopup->popup(tabs->tabBar()->mapToGlobal(at));
            });
    for (MainPage page : {MainPage::Host, MainPage::Pbu}) {
        GridView *view = grid(page);
        view->installEventFilter(this);
        // A header that turns bold with the selection makes the grid jump; keep it steady.
        view->horizontalHeader()->setHighlightSections(false);
        connect(view, &QAbstractItemView::doubleClicked, this,
                [this, page] { guarded([this, page] { marks(page).toggleCurrentCheck(); }); });
    }
    connect(pbuGridPtr, &QWidget::customContextMenuRequested, this,
            [this, pbuPopup](const QPoint &at) {
                pbuPopup->popup(pbuGridPtr->viewport()->mapToGlobal(at));
            });
}

void TF_Main::pbuPopupOpening()
{
    enable(action(A::PMnPSltHl), true);
    enable(action(A::PMnPCnlHl), true);
}

bool TF_Main::gridKeyPressed(MainPage page, int key)
{
    const bool hostGrid = page == MainPage::Host;
    // The key alone decides: Shift, Ctrl and Alt are not looked at.
    switch (key) {
    case Qt::Key_Space:
        guarded([this, page] { marks(page).toggleCurrentCheck(); });
        return true;
    case Qt::Key_L:
        guarded([this, page] { marks(page).checkSelectedRows(); });
        return true;
    case Qt::Key_Z:
        guarded([this, page] { marks(page).uncheckSelectedRows(); });
        return true;
    case Qt::Key_C:
        if (!hostGrid)
            return false;
        guarded([this] { links->registry().connectSelectedHosts(); });
        return true;
    case Qt::Key_O:
        if (!hostGrid)
            return false;
        guarded([this] { links->registry().disconnectSelectedHosts(); });
        return true;
    case Qt::Key_F5:
        if (!hostGrid)
            return false;
        guarded([this] {
            hostPopupOpening();  // the item follows the selection as it is now
            if (action(A::PMnHostDetail)->isEnabled())
                action(A::PMnHostDetail)->trigger();
            else if (action(A::MMnHOSTDetail)->isEnabled())
                action(A::MMnHOSTDetail)->trigger();
        });
        return true;
    default:
        return false;
    }
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
        if (gridKeyPressed(watched == hostGridPtr ? MainPage::Host : MainPage::Pbu, key))
            return true;
    }
    if (watched == splitter && event->type() == QEvent::Resize && action(A::MMnLog)->isChecked()) {
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
    action(A::MMnMinimize)->setChecked(minimised);
    action(A::MMnMaximize)->setChecked(maximised);
    action(A::MMnNormal)->setChecked(!minimised && !maximised);
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
