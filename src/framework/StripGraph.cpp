// Sample buffer and painting of the scrolling line graph.
#include "framework/StripGraph.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace tarvo {

StripSamples::StripSamples(int width, int height, int spacing)
    : width_(std::max(1, width))
    , height_(std::max(1, height))
    , spacing_(std::max(1, spacing))
    , capacity_((width_ - 1) / spacing_ + 1)
{
}

void StripSamples::add(int value)
{
    values_.push_back(value);
    while (int(values_.size()) > capacity_)
        values_.pop_front();
}

int StripSamples::xAt(int index) const
{
    return width_ - 1 - (count() - 1 - index) * spacing_;
}

int StripSamples::yFor(int value) const
{
    const int v = std::clamp(value, 0, 100);
    return (height_ - 1) - v * (height_ - 1) / 100;
}

StripGraph::StripGraph(int width, int height, int spacing, QColor colour, QWidget* parent)
    : QWidget(parent)
    , samples_(width, height, spacing)
    , colour_(colour)
{
    setFixedSize(width, height);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void StripGraph::addSample(int value)
{
    samples_.add(value);
    update();
}

void StripGraph::clear()
{
    samples_.clear();
    update();
}

void StripGraph::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const std::vector<int> values = samples_.values();
    if (values.empty())
        return;
    QPolygon line;
    for (int i = 0; i < int(values.size()); ++i)
        line << QPoint(samples_.xAt(i), samples_.yFor(values[size_t(i)]));
    painter.setPen(QPen(colour_, 1));
    if (line.size() == 1)
        painter.drawPoint(line.first());
    else
        painter.drawPolyline(line);
}

} // namespace tarvo
