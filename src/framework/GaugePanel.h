// A gauge: a picture that moves up and down inside a black panel; the higher it stands,
// the more of it shows.
#pragma once

#include <QColor>
#include <QFrame>

namespace tarvo {

class GaugePanel : public QFrame
{
    Q_OBJECT
public:
    // A panel of `panelSize` holding a picture of `imageSize`, centred across, drawn in
    // `colour`; the picture starts at the panel's bottom edge, out of sight.
    GaugePanel(QSize panelSize, QSize imageSize, QColor colour, QWidget* parent = nullptr);

    // Moves the picture's top edge to `y` pixels below the panel's top.
    void setImageTop(int y);
    int imageTop() const;
    QWidget* image() const { return image_; }

private:
    QWidget* image_;
};

} // namespace tarvo
