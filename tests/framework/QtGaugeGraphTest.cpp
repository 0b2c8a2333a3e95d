// The strip graph's samples and pixel positions, the gauge panel's picture, and the
// owner-drawn list's lines, selection and drawing.
#include "framework/GaugePanel.h"
#include "framework/OwnerDrawList.h"
#include "framework/StripGraph.h"

#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>

#include <gtest/gtest.h>

namespace tarvo {
namespace {

TEST(StripSamples, HoldsWhatFitsAcrossTheWidthAndDropsTheOldest)
{
    StripSamples s(585, 100, 6);
    EXPECT_EQ(s.capacity(), 98);
    for (int i = 0; i < 100; ++i)
        s.add(i);
    ASSERT_EQ(s.count(), 98);
    EXPECT_EQ(s.values().front(), 2);
    EXPECT_EQ(s.values().back(), 99);
    EXPECT_EQ(s.xAt(97), 584) << "newest at the right edge";
    EXPECT_EQ(s.xAt(96), 578);
    EXPECT_EQ(s.xAt(0), 2) << "oldest still inside";
    s.clear();
    EXPECT_EQ(s.count(), 0);

    StripSamples exact(13, 10, 6);
    EXPECT_EQ(exact.capacity(), 3) << "x 0, 6 and 12";
}

TEST(StripSamples, FewSamplesStandAtTheRight)
{
    StripSamples s(585, 100, 6);
    s.add(10);
    EXPECT_EQ(s.xAt(0), 584);
    s.add(20);
    EXPECT_EQ(s.xAt(0), 578);
    EXPECT_EQ(s.xAt(1), 584);
}

TEST(StripSamples, ValuesMapOntoTheHeightFromZeroToHundred)
{
    StripSamples s(585, 100, 6);
    EXPECT_EQ(s.yFor(0), 99);
    EXPECT_EQ(s.yFor(100), 0);
    EXPECT_EQ(s.yFor(50), 50);
    EXPECT_EQ(s.yFor(101), 0) << "clamped when drawn";
    EXPECT_EQ(s.yFor(-3), 99);
    s.add(101);
    EXPECT_EQ(s.values(), std::vector<int>{101}) << "kept as added";
}

TEST(StripGraph, DrawsItsLineInItsColourOnBlack)
{
    StripGraph graph(585, 100, 6, QColor(0, 255, 0));
    EXPECT_EQ(graph.size(), QSize(585, 100));
    EXPECT_EQ(graph.colour(), QColor(0, 255, 0));
    graph.addSample(100);
    graph.addSample(100);
    QImage image(graph.size(), QImage::Format_RGB32);
    graph.render(&image);
    EXPECT_EQ(image.pixelColor(584, 0), QColor(0, 255, 0));
    EXPECT_EQ(image.pixelColor(580, 0), QColor(0, 255, 0));
    EXPECT_EQ(image.pixelColor(584, 50), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(10, 0), QColor(Qt::black));
}

TEST(GaugePanel, PictureIsCentredAcrossAndMovesUpAndDown)
{
    GaugePanel gauge(QSize(85, 63), QSize(69, 50), QColor(0, 255, 0));
    EXPECT_EQ(gauge.size(), QSize(85, 63));
    EXPECT_EQ(gauge.image()->size(), QSize(69, 50));
    EXPECT_EQ(gauge.image()->x(), 8);
    EXPECT_EQ(gauge.imageTop(), 63) << "out of sight until the first value";
    gauge.setImageTop(10);
    EXPECT_EQ(gauge.imageTop(), 10);
    EXPECT_EQ(gauge.image()->x(), 8);
    gauge.setImageTop(60);
    QImage image(gauge.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    gauge.render(&image);
    EXPECT_EQ(image.pixelColor(42, 30), QColor(Qt::black)) << "the panel is black";
}

struct Drawn
{
    int index;
    QRect rect;
    bool selected;
};

TEST(OwnerDrawList, DrawsEveryVisibleLineThroughItsHandler)
{
    OwnerDrawList list(16);
    list.resize(200, 70);
    std::vector<Drawn> drawn;
    list.setDrawItem([&](QPainter&, int index, const QRect& rect, bool selected) {
        drawn.push_back({index, rect, selected});
    });
    for (int i = 0; i < 10; ++i)
        list.addLine("line " + std::to_string(i));
    list.setCurrentRow(1);
    list.viewport()->grab();
    ASSERT_GE(drawn.size(), 4u);
    EXPECT_LE(drawn.size(), 6u) << "only the lines in view";
    EXPECT_EQ(drawn[0].index, 0);
    EXPECT_EQ(drawn[1].rect.top(), 16);
    EXPECT_EQ(drawn[1].rect.height(), 16);
    EXPECT_FALSE(drawn[0].selected);
    EXPECT_TRUE(drawn[1].selected);
}

TEST(OwnerDrawList, StopsDrawingWhenTheHandlerChangesTheList)
{
    OwnerDrawList list(16);
    list.resize(200, 100);
    int calls = 0;
    list.setDrawItem([&](QPainter&, int, const QRect&, bool) {
        ++calls;
        if (list.count() > 3) {
            list.clear();
            list.addLine("kept");
        }
    });
    for (int i = 0; i < 5; ++i)
        list.addLine("x");
    list.viewport()->grab();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(list.lines(), std::vector<std::string>{"kept"});
}

TEST(OwnerDrawList, SelectionFollowsKeysAndIsDroppedByClear)
{
    OwnerDrawList list(16);
    list.resize(200, 40);
    list.show(); // a hidden widget gets its resize only when shown
    EXPECT_EQ(list.currentRow(), -1);
    EXPECT_EQ(list.topIndex(), -1);
    for (int i = 0; i < 6; ++i)
        list.addLine(std::to_string(i));
    list.setCurrentRow(9);
    EXPECT_EQ(list.currentRow(), -1) << "no such line";
    auto press = [&](int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&list, &event);
    };
    press(Qt::Key_Down);
    EXPECT_EQ(list.currentRow(), 1);
    press(Qt::Key_End);
    EXPECT_EQ(list.currentRow(), 5);
    EXPECT_GT(list.topIndex(), 0) << "scrolled to keep the selection in view";
    press(Qt::Key_Home);
    EXPECT_EQ(list.currentRow(), 0);
    EXPECT_EQ(list.topIndex(), 0);
    list.clear();
    EXPECT_EQ(list.currentRow(), -1);
    EXPECT_EQ(list.count(), 0);
}

} // namespace
} // namespace tarvo
