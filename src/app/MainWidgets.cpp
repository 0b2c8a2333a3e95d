// The status bar panels and the error list view.
#include "app/MainWidgets.h"

#include "framework/QtText.h"

#include <QLabel>
#include <QResizeEvent>
#include <QScrollBar>

namespace tarvo {

MonitorStatusBar::MonitorStatusBar(QWidget *parent) : QStatusBar(parent)
{
    const Qt::Alignment alignments[3] = {Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignCenter,
                                         Qt::AlignRight | Qt::AlignVCenter};
    const int startWidths[3] = {300, 100, 50};
    for (int i = 0; i < 3; ++i) {
        panels[i] = new QLabel(this);
        panels[i]->setAlignment(alignments[i]);
        panels[i]->setFrameShape(QFrame::Panel);
        panels[i]->setFrameShadow(QFrame::Sunken);
        panels[i]->setFixedWidth(startWidths[i]);
        panels[i]->setTextFormat(Qt::PlainText);
        addWidget(panels[i]);
    }
}

std::array<int, 3> MonitorStatusBar::panelWidths(int barWidth)
{
    return {barWidth * 300 / 522, barWidth * 100 / 522, barWidth * 50 / 522};
}

void MonitorStatusBar::resizeEvent(QResizeEvent *event)
{
    const auto widths = panelWidths(event->size().width());
    for (int i = 0; i < 3; ++i)
        panels[i]->setFixedWidth(widths[i]);
    QStatusBar::resizeEvent(event);
}

void MonitorStatusBar::setPanelText(int panel, const std::string &gbk)
{
    panels[panel]->setText(qtText(gbk));
}

std::string MonitorStatusBar::panelText(int panel) const { return gbkText(panels[panel]->text()); }

int MonitorStatusBar::panelWidth(int panel) const { return panels[panel]->width(); }

ErrorListView::ErrorListView(ErrorList &list, QWidget *parent) : QListWidget(parent), list(list)
{
    setObjectName(QStringLiteral("ListBoxErrorLog"));
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setStyleSheet(QStringLiteral(
        "QListWidget { background: white; }"
        "QListWidget::item:selected { color: yellow; background: palette(highlight); }"));
    list.setListener({[this](const std::string &line) { appendLine(line); },
                      [this] { rebuild(); }});
    rebuild();
}

void ErrorListView::appendLine(const std::string &line)
{
    auto *item = new QListWidgetItem(qtText(line), this);
    item->setForeground(errorLineColour(line) == ErrorLineColour::Red ? QColor(255, 0, 0)
                                                                       : QColor(0, 0, 255));
    scrollNewestToTop();
}

void ErrorListView::rebuild()
{
    clear();
    for (const auto &line : list.lines()) {
        auto *item = new QListWidgetItem(qtText(line), this);
        item->setForeground(errorLineColour(line) == ErrorLineColour::Red ? QColor(255, 0, 0)
                                                                           : QColor(0, 0, 255));
    }
    scrollNewestToTop();
}

void ErrorListView::updateGeometries()
{
    QListWidget::updateGeometries();
    // Allow the newest line to become the top line, with empty space below it.
    if (count() > 0)
        verticalScrollBar()->setRange(0, count() - 1);
}

void ErrorListView::scrollNewestToTop()
{
    if (count() == 0)
        return;
    updateGeometries();
    verticalScrollBar()->setValue(count() - 1);
}

int ErrorListView::topIndex() const
{
    const QModelIndex top = indexAt(QPoint(2, 2));
    return top.isValid() ? top.row() : -1;
}

} // namespace tarvo
