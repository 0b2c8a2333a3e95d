// The host commands of the main window: adding, editing and deleting hosts, the enabled
// state of the commands and the host pop-up menu.
#include "app/Fmain.h"

#include "app/AppTexts.h"
#include "app/MainWidgets.h"
#include "display/Fhost.h"
#include "display/GridTables.h"
#include "framework/GridView.h"
#include "framework/QtText.h"

#include <QAction>
#include <QDialog>
#include <QTabWidget>

#include <limits>

namespace tarvo {

namespace {
using A = MainAction;
} // namespace

void enable(QAction *action, bool on)
{
    // Runs after every message from every agent; an unchanged action need not hear of it.
    if (action->isEnabled() != on)
        action->setEnabled(on);
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
    refreshCommandStates(CommandMode::AfterChange);
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
    refreshCommandStates(CommandMode::AfterChange);
}

bool TF_Main::deleteHost(HostSubject &host)
{
    const std::string ip = host.getChannelIP();
    if (!dialogsPtr->confirm(MessageKind::Information, PRODUCT_TITLE,
                             "您确定要删除IP为" + ip + "的报盘机吗?"))
        return false;
    hostTablePtr->locate(kHostKeyField, ip);
    if (hostTablePtr->value("Connection") == kConnected)
        links->registry().dropHost(ip);
    else
        commandPool->purge(ip, std::numeric_limits<int32_t>::max());
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
    refreshCommandStates(CommandMode::AfterChange);
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
    refreshCommandStates(CommandMode::AfterChange);
}

// ---------------------------------------------------------------- command states

void TF_Main::refreshCommandStates(CommandMode mode)
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
            enable(action, *enabled);
    };
    apply(action(A::BtnAddHost), s.addHost);
    apply(action(A::BtnDeleteHost), s.deleteHost);
    apply(action(A::BtnConnect), s.connect);
    apply(action(A::BtnDisconnect), s.disconnect);
    apply(action(A::MMnHostCnt), s.menuConnect);
    apply(action(A::MMnHostDCnt), s.menuDisconnect);
    apply(action(A::MMnHOSTStatus), s.hostStatusView);
    apply(action(A::MMnPBUStatus), s.pbuStatusView);
    apply(action(A::MMnHOSTDetail), s.hostDetail);
    if (s.activePage) {
        QSignalBlocker block(tabs);
        tabs->setCurrentIndex(*s.activePage == MainPage::Host ? 0 : 1);
    }
    if (s.versionPanel)
        statusBarPtr->setPanelText(2, *s.versionPanel);
    statusBarPtr->setPanelText(1, s.countersPanel);
}

QWidget *TF_Main::openDetailWindow()
{
    if (hostTablePtr->isEmpty())
        return nullptr;
    return openDetailWindowOf(hostPoolPtr->find(hostTablePtr->value(kHostKeyField)));
}

QWidget *TF_Main::openCheckedHostDetail()
{
    // The command is enabled by exactly one ticked host: that is the host it means, wherever
    // the cursor stands.
    const std::vector<int> ticked = hostTablePtr->findAll(kHostCheckField, kTrueText);
    if (ticked.size() != 1)
        return openDetailWindow();
    return openDetailWindowOf(hostPoolPtr->find(hostTablePtr->valueAt(ticked[0], kHostKeyField)));
}

QWidget *TF_Main::openDetailWindowOf(HostSubject *host)
{
    if (!host || host->getHostStatus() == "停止")
        return nullptr;
    if (!host->getDetailWindow())
        host->setDetailWindow(std::make_unique<TF_HOST>(*this, *host));
    auto *window = static_cast<TF_HOST *>(host->getDetailWindow());
    window->setWindowTitle(
        qtText("报盘机详细信息: " + host->getHostName() + " " + host->getChannelIP()));
    window->show();
    window->raise();
    window->activateWindow();
    logEvent("查看报盘机" + host->getChannelIP() + "的详细信息", true);
    return window;
}

void TF_Main::hostPopupOpening()
{
    // Each action is set once: one enabled here and disabled below would tell its widgets
    // and its shortcut twice after every agent's message.
    for (MainAction a : {A::PMnHSltHl, A::PMnHCnlHl, A::PMnHostAdd, A::PMnHostDel})
        enable(action(a), true);
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
    enable(action(A::PMnHostEdit), canEdit);
    enable(action(A::PMnHostDetail), canShowDetails);
    enable(action(A::PMnHostCnt), canConnect);
    enable(action(A::PMnHostDCnt), canDisconnect);
}

} // namespace tarvo
