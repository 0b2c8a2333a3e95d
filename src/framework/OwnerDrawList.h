// An owner-drawn list box: fixed-height lines of GBK text, each drawn by a handler that
// the list's owner supplies.
#pragma once

#include <QAbstractScrollArea>

#include <functional>
#include <string>
#include <vector>

namespace tarvo {

class OwnerDrawList : public QAbstractScrollArea
{
    Q_OBJECT
public:
    // Draws line `index` into `rect`; it may change the list (the list then stops drawing
    // and repaints later).
    using DrawItem =
        std::function<void(QPainter& painter, int index, const QRect& rect, bool selected)>;

    explicit OwnerDrawList(int itemHeight, QWidget* parent = nullptr);

    void setDrawItem(DrawItem handler) { drawItem_ = std::move(handler); }
    void addLine(std::string line);
    void clear();
    int count() const { return int(lines_.size()); }
    const std::string& line(int index) const { return lines_[size_t(index)]; }
    const std::vector<std::string>& lines() const { return lines_; }
    int itemHeight() const { return itemHeight_; }
    // The selected line, or -1.
    int currentRow() const { return selected_; }
    void setCurrentRow(int row);
    int topIndex() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int visibleRows() const;
    void updateScrollBar();
    void scrollTo(int row);

    std::vector<std::string> lines_;
    DrawItem drawItem_;
    int itemHeight_;
    int selected_ = -1;
};

} // namespace tarvo
