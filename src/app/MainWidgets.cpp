// The status bar panels and the error list view.
#include "app/MainWidgets.h"

#include "framework/QtText.h"

#include <QLabel>
#include <QPainter>
#include <QResizeEvent>

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
    const QString text = qtText(gbk);
    if (panels[panel]->text() != text)
        panels[panel]->setText(text);
}

std::string MonitorStatusBar::panelText(int panel) const { return gbkText(panels[panel]->text()); }

int MonitorStatusBar::panelWidth(int panel) const { return panels[panel]->width(); }

ErrorListView::ErrorListView(ErrorList &list, QWidget *parent)
    : OwnerDrawList(kFontLineHeight, parent, Scrolling::AnyLineToTop)
{
    setObjectName(QStringLiteral("ListBoxErrorLog"));
    setDrawItem([this](QPainter &painter, int row, const QRect &rect, bool isSelected) {
        const std::string &text = line(row);
        if (isSelected)
            painter.fillRect(rect, palette().color(QPalette::Highlight));
        const QColor ink = errorLineColour(text) == ErrorLineColour::Red ? QColor(255, 0, 0)
                                                                          : QColor(0, 0, 255);
        painter.setPen(isSelected ? QColor(Qt::yellow) : ink);
        painter.drawText(rect.adjusted(3, 0, -3, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         qtText(text));
    });
    auto appended = [this](const std::string &text) {
        addLine(text);
        scrollToEnd();
    };
    auto reset = [this, &list] {
        setLines(list.lines());
        scrollToEnd();
    };
    list.setListener({appended, reset});
    reset();
}

} // namespace tarvo
