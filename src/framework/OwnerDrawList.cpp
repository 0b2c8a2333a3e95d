// Scrolling, selection and painting of the owner-drawn list box.
#include "framework/OwnerDrawList.h"

#include "framework/QtText.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace tarvo {

OwnerDrawList::OwnerDrawList(int itemHeight, QWidget* parent, Scrolling scrolling)
    : QAbstractScrollArea(parent)
    , itemHeight_(itemHeight == kFontLineHeight ? kFontLineHeight : std::max(1, itemHeight))
    , scrolling_(scrolling)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(scrolling == Scrolling::AnyLineToTop ? Qt::ScrollBarAlwaysOn
                                                                     : Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(true);
    QPalette p = viewport()->palette();
    p.setColor(QPalette::Base, Qt::white);
    viewport()->setPalette(p);
    verticalScrollBar()->setSingleStep(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(),
            qOverload<>(&QWidget::update));
}

void OwnerDrawList::addLine(std::string line)
{
    lines_.push_back(std::move(line));
    updateScrollBar();
    viewport()->update();
}

void OwnerDrawList::clear()
{
    lines_.clear();
    selected_ = -1;
    updateScrollBar();
    viewport()->update();
}

void OwnerDrawList::setLines(std::vector<std::string> lines)
{
    lines_ = std::move(lines);
    if (selected_ >= count())
        selected_ = -1;
    updateScrollBar();
    viewport()->update();
}

void OwnerDrawList::scrollToEnd()
{
    updateScrollBar();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
}

int OwnerDrawList::itemHeight() const
{
    return itemHeight_ == kFontLineHeight ? fontMetrics().height() + 2 : itemHeight_;
}

void OwnerDrawList::setCurrentRow(int row)
{
    selected_ = row >= 0 && row < count() ? row : -1;
    if (selected_ >= 0)
        scrollTo(selected_);
    viewport()->update();
}

int OwnerDrawList::topIndex() const { return lines_.empty() ? -1 : verticalScrollBar()->value(); }

int OwnerDrawList::visibleRows() const { return std::max(1, viewport()->height() / itemHeight()); }

void OwnerDrawList::updateScrollBar()
{
    QScrollBar* bar = verticalScrollBar();
    const int last = scrolling_ == Scrolling::AnyLineToTop ? count() - 1 : count() - visibleRows();
    bar->setRange(0, std::max(0, last));
    bar->setPageStep(visibleRows());
}

void OwnerDrawList::scrollTo(int row)
{
    QScrollBar* bar = verticalScrollBar();
    if (row < bar->value())
        bar->setValue(row);
    else if (row >= bar->value() + visibleRows())
        bar->setValue(row - visibleRows() + 1);
}

void OwnerDrawList::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBar();
}

void OwnerDrawList::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const int h = itemHeight();
    const int first = std::max(0, verticalScrollBar()->value());
    const int shown = viewport()->height() / h + 1;
    for (int row = first; row < first + shown && row < count(); ++row) {
        const QRect rect(0, (row - first) * h, viewport()->width(), h);
        if (!drawItem_) {
            painter.drawText(rect, Qt::AlignLeft | Qt::AlignTop, qtText(line(row)));
            continue;
        }
        const size_t before = lines_.size();
        painter.save();
        drawItem_(painter, row, rect, row == selected_);
        painter.restore();
        if (lines_.size() != before)
            break;
    }
}

void OwnerDrawList::mousePressEvent(QMouseEvent* event)
{
    const int row = verticalScrollBar()->value() + int(event->position().y()) / itemHeight();
    if (row >= 0 && row < count()) {
        selected_ = row;
        viewport()->update();
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void OwnerDrawList::keyPressEvent(QKeyEvent* event)
{
    if (lines_.empty())
        return QAbstractScrollArea::keyPressEvent(event);
    int row = selected_ < 0 ? topIndex() : selected_;
    switch (event->key()) {
    case Qt::Key_Up: row = std::max(0, row - 1); break;
    case Qt::Key_Down: row = std::min(count() - 1, row + 1); break;
    case Qt::Key_Home: row = 0; break;
    case Qt::Key_End: row = count() - 1; break;
    default: return QAbstractScrollArea::keyPressEvent(event);
    }
    setCurrentRow(row);
}

} // namespace tarvo
