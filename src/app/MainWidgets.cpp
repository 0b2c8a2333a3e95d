// The status bar panels and the error list view.
#include "app/MainWidgets.h"

#include "framework/QtText.h"

#include <QLabel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>

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
    : QAbstractScrollArea(parent)
    , list(list)
{
    setObjectName(QStringLiteral("ListBoxErrorLog"));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(true);
    QPalette p = viewport()->palette();
    p.setColor(QPalette::Base, Qt::white);
    viewport()->setPalette(p);
    verticalScrollBar()->setSingleStep(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(),
            qOverload<>(&QWidget::update));
    list.setListener({[this](const std::string &) { appendLine(); }, [this] { rebuild(); }});
    rebuild();
}

int ErrorListView::rowHeight() const { return fontMetrics().height() + 2; }

int ErrorListView::visibleRows() const
{
    return std::max(1, viewport()->height() / rowHeight());
}

int ErrorListView::topIndex() const
{
    return list.size() == 0 ? -1 : verticalScrollBar()->value();
}

void ErrorListView::updateScrollBar()
{
    QScrollBar *bar = verticalScrollBar();
    bar->setRange(0, std::max(0, count() - 1));
    bar->setPageStep(visibleRows());
}

void ErrorListView::scrollNewestToTop()
{
    updateScrollBar();
    verticalScrollBar()->setValue(std::max(0, count() - 1));
    viewport()->update();
}

void ErrorListView::appendLine() { scrollNewestToTop(); }

void ErrorListView::rebuild()
{
    if (selected >= count())
        selected = -1;
    scrollNewestToTop();
}

void ErrorListView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBar();
}

void ErrorListView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const int h = rowHeight();
    const int first = std::max(0, verticalScrollBar()->value());
    const int last = std::min(count(), first + viewport()->height() / h + 1);
    for (int row = first; row < last; ++row) {
        const std::string &line = list.lines()[size_t(row)];
        const QRect rect(0, (row - first) * h, viewport()->width(), h);
        const bool isSelected = row == selected;
        if (isSelected)
            painter.fillRect(rect, palette().color(QPalette::Highlight));
        QColor ink = errorLineColour(line) == ErrorLineColour::Red ? QColor(255, 0, 0)
                                                                    : QColor(0, 0, 255);
        painter.setPen(isSelected ? QColor(Qt::yellow) : ink);
        painter.drawText(rect.adjusted(3, 0, -3, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         qtText(line));
    }
}

void ErrorListView::mousePressEvent(QMouseEvent *event)
{
    const int row = verticalScrollBar()->value() + int(event->position().y()) / rowHeight();
    if (row >= 0 && row < count()) {
        selected = row;
        viewport()->update();
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void ErrorListView::keyPressEvent(QKeyEvent *event)
{
    if (count() == 0)
        return QAbstractScrollArea::keyPressEvent(event);
    int row = selected < 0 ? topIndex() : selected;
    switch (event->key()) {
    case Qt::Key_Up: row = std::max(0, row - 1); break;
    case Qt::Key_Down: row = std::min(count() - 1, row + 1); break;
    case Qt::Key_Home: row = 0; break;
    case Qt::Key_End: row = count() - 1; break;
    default: return QAbstractScrollArea::keyPressEvent(event);
    }
    selected = row;
    QScrollBar *bar = verticalScrollBar();
    if (row < bar->value())
        bar->setValue(row);
    else if (row >= bar->value() + visibleRows())
        bar->setValue(row - visibleRows() + 1);
    viewport()->update();
}

} // namespace tarvo
