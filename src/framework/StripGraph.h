// A scrolling line graph on a black background: one colour, a fixed spacing per sample,
// values on a 0 to 100 scale; samples that no longer fit fall off the left edge.
#pragma once

#include <QColor>
#include <QWidget>

#include <deque>
#include <vector>

namespace tarvo {

// The samples of a strip graph and where they are drawn; pure, so tests need no widget.
// The newest sample stands at the right edge, each older one `spacing` pixels further left.
class StripSamples
{
public:
    StripSamples(int width, int height, int spacing);

    // Appends a sample and drops the oldest ones that no longer fit.
    void add(int value);
    void clear() { values_.clear(); }

    // How many samples fit: their x positions all lie within 0 .. width - 1.
    int capacity() const { return capacity_; }
    int count() const { return int(values_.size()); }
    // The values as added (not clamped), oldest first.
    std::vector<int> values() const { return {values_.begin(), values_.end()}; }

    // Pixel column of sample `index` (0 = oldest held).
    int xAt(int index) const;
    // Pixel row of a value: 0 at the bottom row, 100 at the top row; clamped to 0 .. 100.
    int yFor(int value) const;

private:
    int width_;
    int height_;
    int spacing_;
    int capacity_;
    std::deque<int> values_;
};

class StripGraph : public QWidget
{
    Q_OBJECT
public:
    // A graph of fixed size `width` x `height` drawing its line in `colour`.
    StripGraph(int width, int height, int spacing, QColor colour, QWidget* parent = nullptr);

    void addSample(int value);
    void clear();
    const StripSamples& samples() const { return samples_; }
    QColor colour() const { return colour_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    StripSamples samples_;
    QColor colour_;
};

} // namespace tarvo
