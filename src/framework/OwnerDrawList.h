// An owner-drawn list box: fixed-height lines of GBK text, each drawn by a handler that
// the list's owner supplies. Two things tell its uses apart: the height of a line, and how
// far the list scrolls.
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

    // How far the list scrolls: until its last line is at the bottom (scroll bar as needed),
    // or until any line, the last one included, is the top line (scroll bar always shown),
    // as a list box that shows its newest line on top does.
    enum class Scrolling { LastLineAtBottom, AnyLineToTop };
    // A line height that follows the font: its height plus 2 pixels.
    static constexpr int kFontLineHeight = 0;

    explicit OwnerDrawList(int itemHeight, QWidget* parent = nullptr,
                           Scrolling scrolling = Scrolling::LastLineAtBottom);

    void setDrawItem(DrawItem handler) { drawItem_ = std::move(handler); }
    void addLine(std::string line);
    void clear();
    // Replaces every line; the selection stays when its line is still there.
    void setLines(std::vector<std::string> lines);
    // Scrolls as far down as the list goes.
    void scrollToEnd();
    int count() const { return int(lines_.size()); }
    const std::string& line(int index) const { return lines_[size_t(index)]; }
    const std::vector<std::string>& lines() const { return lines_; }
    int itemHeight() const;
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
    Scrolling scrolling_;
    int selected_ = -1;
};

} // namespace tarvo
