// The gauge panel and its picture, a column of level bars.
#include "framework/GaugePanel.h"

#include <QPainter>

#include <algorithm>

namespace tarvo {
namespace {

// Stacked bars that brighten towards the top, like the segments of a level meter.
class GaugeFigure : public QWidget
{
public:
    GaugeFigure(QSize size, QColor colour, QWidget* parent) : QWidget(parent), colour_(colour)
    {
        setFixedSize(size);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        const int bar = 4;
        const int gap = 2;
        for (int y = 0; y + bar <= height(); y += bar + gap) {
            const int fade = 100 + 100 * y / std::max(1, height());
            painter.fillRect(QRect(2, y, width() - 4, bar), colour_.darker(fade));
        }
    }

private:
    QColor colour_;
};

} // namespace

GaugePanel::GaugePanel(QSize panelSize, QSize imageSize, QColor colour, QWidget* parent)
    : QFrame(parent)
    , image_(new GaugeFigure(imageSize, colour, this))
{
    setFixedSize(panelSize);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    image_->move((panelSize.width() - imageSize.width()) / 2, panelSize.height());
}

void GaugePanel::setImageTop(int y) { image_->move(image_->x(), y); }

int GaugePanel::imageTop() const { return image_->y(); }

} // namespace tarvo
