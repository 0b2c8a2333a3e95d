// What an operator does to the console, through its real widgets: clicks on the grids' cells
// and check boxes, keys, pop-up menus, and answers to the modal dialogs, also from a timer
// while the dialog's own event loop runs. Shared by the interaction tests and the soak.
#pragma once

#include "app/Fhostmaintenance.h"
#include "app/Fmain.h"
#include "display/GridTables.h"
#include "framework/GridView.h"
#include "framework/QtText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

namespace tarvo::test {

// The record of the row whose key field holds `key`, or kNoRecId.
inline RecId rowOf(GridView &grid, std::string_view keyField, const std::string &key)
{
    const auto rows = grid.recordSet().findAll(keyField, key);
    return rows.empty() ? kNoRecId : grid.recordSet().recIdAt(rows.front());
}

inline QPoint cellCentre(GridView &grid, RecId row, int column)
{
    grid.scrollTo(grid.sortModel()->index(grid.viewRowOf(row), column));
    return grid.cellRect({row, column}).center();
}

inline void clickCell(GridView &grid, RecId row, int column, Qt::KeyboardModifiers keys = {})
{
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, keys, cellCentre(grid, row, column));
}

// A double click as widgets receive it: press, release, double click, release. (QTest's own
// double click goes through the platform's double-click detection, which also pairs it with
// an earlier click.)
inline void doubleClickAt(QWidget &widget, QPoint at)
{
    const QPointF local(at);
    const QPointF global(widget.mapToGlobal(at));
    auto send = [&](QEvent::Type type, Qt::MouseButtons held) {
        QMouseEvent event(type, local, global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(&widget, &event);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::NoButton);
    send(QEvent::MouseButtonDblClick, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::NoButton);
}

inline void doubleClickCell(GridView &grid, RecId row, int column)
{
    doubleClickAt(*grid.viewport(), cellCentre(grid, row, column));
}

// Clicks (or double-clicks) right on the check box of a row's first column.
inline void clickCheckBox(GridView &grid, RecId row, bool twice = false)
{
    cellCentre(grid, row, 0);
    const QPoint at = grid.checkBoxRect({row, 0}).center();
    if (twice)
        doubleClickAt(*grid.viewport(), at);
    else
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, at);
}

// Shortcuts reach only the active window: the widget's window is made active first.
inline void pressKey(QWidget &widget, Qt::Key key, Qt::KeyboardModifiers keys = {})
{
    QWidget *window = widget.window();
    if (!window->isActiveWindow()) {
        window->activateWindow();
        (void)QTest::qWaitForWindowActive(window, 1000);
    }
    widget.setFocus();
    QTest::keyClick(&widget, key, keys);
}

// Opens a grid's pop-up menu at a row as a right click does; returns the menu shown.
inline QMenu *openPopup(TF_Main &window, GridView &grid, RecId row)
{
    const QPoint at = cellCentre(grid, row, 1);
    clickCell(grid, row, 1);
    emit grid.customContextMenuRequested(at);
    QMenu *menu = &grid == window.hostGrid() ? window.actions().hostPopup() : window.actions().pbuPopup();
    return menu->isVisible() ? menu : nullptr;
}

// Chooses an item of an open pop-up menu by its caption (GBK), as a click on it does.
inline bool chooseItem(QMenu &menu, const std::string &caption)
{
    for (QAction *action : menu.actions()) {
        if (action->text() == qtText(caption) && action->isEnabled()) {
            menu.hide();
            action->trigger();
            return true;
        }
    }
    menu.hide();
    return false;
}

// A push button of a window by its caption (GBK), or nullptr.
inline QPushButton *buttonOf(QWidget &window, const std::string &caption)
{
    for (QPushButton *button : window.findChildren<QPushButton *>())
        if (button->text() == qtText(caption))
            return button;
    return nullptr;
}

inline QWidget *openModal() { return QApplication::activeModalWidget(); }

// Answers the open message box with Yes or No (or OK); false when none is open.
inline bool answerMessageBox(bool yes)
{
    auto *box = qobject_cast<QMessageBox *>(openModal());
    if (!box)
        return false;
    QAbstractButton *button = box->button(yes ? QMessageBox::Yes : QMessageBox::No);
    if (!button)
        button = box->button(QMessageBox::Ok);
    if (!button)
        button = box->buttons().value(0);
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

// Fills the open host dialog and clicks "确定" (or "取消"); false when none is open.
inline bool answerHostDialog(const std::string &ip, const std::string &alias,
                             const std::string &port, bool ok)
{
    auto *dialog = qobject_cast<THostMaintenance *>(openModal());
    if (!dialog)
        return false;
    if (!dialog->edtIP->isReadOnly())
        dialog->edtIP->setText(qtText(ip));
    dialog->edtAlias->setText(qtText(alias));
    if (dialog->edtPort->isEnabled())
        dialog->edtPort->setText(qtText(port));
    QTest::mouseClick(ok ? dialog->BtnOK : dialog->BtnCancel, Qt::LeftButton);
    return true;
}

// Once the next modal dialog is open (asked every 5 ms, inside its own event loop), runs
// `during` and then `answer`. Gives up after `patienceMs` without a dialog.
inline void whenModal(std::function<void()> during, std::function<void()> answer,
                      int patienceMs = 3000)
{
    auto *poll = new QTimer(qApp);
    poll->setInterval(5);
    auto tries = std::make_shared<int>(patienceMs / 5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, during, answer, tries] {
        if (!openModal()) {
            if (--*tries <= 0) {
                poll->stop();
                poll->deleteLater();
            }
            return;
        }
        poll->stop();
        poll->deleteLater();
        if (during)
            during();
        answer();
    });
    poll->start();
}

} // namespace tarvo::test
