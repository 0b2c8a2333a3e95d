// The Qt side of the grids: model signals batched at resume, check boxes, discs, sorting,
// the grid view's binding to GridState and the paint hook.
#include "GridTestLayout.h"
#include "framework/GridView.h"
#include "framework/QtText.h"
#include "framework/RecordSetModel.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QPixmap>
#include <QScrollBar>
#include <QSignalSpy>

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <gtest/gtest.h>

namespace tarvo {
namespace {

RecId addHost(RecordSet& set, const std::string& ip, const std::string& name = "")
{
    set.append();
    set.setValue("Ip", ip);
    set.setValue("Name", name);
    set.post();
    return set.currentRecId();
}

struct ModelTest : testing::Test {
    ModelTest()
    {
        for (int i = 0; i < 10; ++i)
            ids.push_back(addHost(set, "10.0.0." + std::to_string(i)));
    }
    RecordSet set{test::gridFields()};
    RecordSetModel model{set, test::gridColumns()};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
    std::vector<RecId> ids;
};

TEST_F(ModelTest, TwoHundredEditsInABracketAreOneDataChanged)
{
    for (int i = 10; i < 200; ++i)
        ids.push_back(addHost(set, "10.0.1." + std::to_string(i)));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    {
        SuspendGuard guard(set);
        for (set.first(); !set.eof(); set.next()) {
            set.edit();
            set.setValue("Name", "n" + set.value("Ip"));
            set.post();
        }
        EXPECT_EQ(changed.count(), 0);
    }
    ASSERT_EQ(changed.count(), 1);
    auto topLeft = changed[0][0].value<QModelIndex>();
    auto bottomRight = changed[0][1].value<QModelIndex>();
    EXPECT_EQ(topLeft.row(), 0);
    EXPECT_EQ(bottomRight.row(), 199);
    EXPECT_EQ(topLeft.column(), 4);  // only the Name column
    EXPECT_EQ(bottomRight.column(), 4);
    EXPECT_EQ(model.data(model.index(5, 4)).toString(), QStringLiteral("n10.0.0.5"));
}

TEST_F(ModelTest, StructuralChangesInABracketBecomeFewRowSignals)
{
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    {
        SuspendGuard outer(set);
        {
            SuspendGuard inner(set);
            for (int i = 2; i <= 4; ++i) {  // one run of three rows
                set.locateRecId(ids[i]);
                set.deleteCurrent();
            }
        }
        set.locateRecId(ids[8]);
        set.deleteCurrent();
        for (int i = 0; i < 5; ++i)
            addHost(set, "10.0.2." + std::to_string(i));
        EXPECT_EQ(inserted.count() + removed.count(), 0);
    }
    ASSERT_EQ(removed.count(), 2);
    EXPECT_EQ(removed[0][1].toInt(), 8);  // the higher run first
    EXPECT_EQ(removed[1][1].toInt(), 2);
    EXPECT_EQ(removed[1][2].toInt(), 4);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 6);
    EXPECT_EQ(inserted[0][2].toInt(), 10);
    EXPECT_EQ(reset.count(), 0);
    ASSERT_EQ(model.rowCount(), set.count());
    for (int r = 0; r < model.rowCount(); ++r)
        EXPECT_EQ(model.recIdAt(r), set.recIdAt(r));
    EXPECT_EQ(model.data(model.index(2, 1)).toString(), QStringLiteral("10.0.0.5"));
}

TEST_F(ModelTest, ClearIsAModelReset)
{
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    set.clear();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(ModelTest, CheckBoxColumnWritesTrueFalseAndTellsTheHandler)
{
    std::vector<std::pair<RecId, bool>> told;
    model.setCheckToggled([&](RecId id, const std::string& field, bool checked) {
        EXPECT_EQ(field, "Check");
        told.emplace_back(id, checked);
    });
    set.locateRecId(ids[7]);
    QModelIndex cell = model.index(3, 0);
    EXPECT_TRUE(model.flags(cell) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.flags(model.index(3, 1)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.flags(model.index(3, 1)) & Qt::ItemIsEditable);
    EXPECT_EQ(model.data(cell, Qt::CheckStateRole).toInt(), Qt::Unchecked);  // empty

    ASSERT_TRUE(model.setData(cell, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(set.valueAt(3, "Check"), "True");
    EXPECT_EQ(model.data(cell, Qt::CheckStateRole).toInt(), Qt::Checked);
    ASSERT_TRUE(model.setData(cell, Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(set.valueAt(3, "Check"), "False");
    EXPECT_FALSE(model.setData(model.index(3, 1), Qt::Checked, Qt::CheckStateRole));
    EXPECT_FALSE(model.setData(cell, "x", Qt::EditRole));

    EXPECT_EQ(told, (std::vector<std::pair<RecId, bool>>{{ids[3], true}, {ids[3], false}}));
    EXPECT_EQ(set.currentRecId(), ids[7]);  // toggling does not move the cursor
}

TEST_F(ModelTest, TextsAreConvertedFromGbkAndHeadersCarryCaptions)
{
    set.locateRecId(ids[0]);
    set.edit();
    set.setValue("Name", "运行");
    set.post();
    EXPECT_EQ(model.data(model.index(0, 4)).toString(), QStringLiteral("运行"));
    EXPECT_EQ(model.data(model.index(0, 4), RecordSetModel::RawTextRole).toByteArray(),
              QByteArray("\xD4\xCB\xD0\xD0"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("线路IP"));
    EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("PBU是否显示"));
    EXPECT_FALSE(model.data(model.index(0, 0)).isValid());  // check column shows no text
    EXPECT_EQ(qtText("报盘机"), QStringLiteral("报盘机"));
    EXPECT_EQ(gbkText(QStringLiteral("报盘机")), std::string("报盘机"));
}

class DiscTest : public testing::TestWithParam<std::pair<const char*, QRgb>> {};

TEST_P(DiscTest, ImageColumnShowsAFilledDiscOrNothing)
{
    RecordSet set(test::gridFields());
    RecordSetModel model(set, test::gridColumns());
    addHost(set, "1.1.1.1");
    set.edit();
    set.setValue("Level", GetParam().first);
    set.post();
    QVariant decoration = model.data(model.index(0, 2), Qt::DecorationRole);
    EXPECT_FALSE(model.data(model.index(0, 2)).isValid());  // no text in an image column
    if (GetParam().second == 0) {
        EXPECT_FALSE(decoration.isValid());
        return;
    }
    QImage image = decoration.value<QPixmap>().toImage();
    ASSERT_EQ(image.size(), QSize(16, 16));
    EXPECT_EQ(image.pixel(8, 8) & 0xFFFFFF, GetParam().second & 0xFFFFFF);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);  // a disc, not a square
}

INSTANTIATE_TEST_SUITE_P(Levels, DiscTest,
                         testing::Values(std::pair<const char*, QRgb>{"1", qRgb(8, 174, 0)},
                                         std::pair<const char*, QRgb>{"2", qRgb(255, 255, 0)},
                                         std::pair<const char*, QRgb>{"3", qRgb(254, 1, 1)},
                                         std::pair<const char*, QRgb>{"0", 0},
                                         std::pair<const char*, QRgb>{"", 0},
                                         std::pair<const char*, QRgb>{"red", 0}));

std::vector<std::string> viewOrder(const GridView& view)
{
    std::vector<std::string> out;
    const RecordSet& set = view.recordSet();
    for (int r = 0; r < view.sortModel()->rowCount(); ++r)
        out.push_back(set.valueAt(set.positionOf(view.recIdAtViewRow(r)), "Ip"));
    return out;
}

struct ViewTest : testing::Test {
    ViewTest()
    {
        for (auto ip : {"10.0.0.2", "10.0.0.10", "10.0.0.1", "9.0.0.1"})
            ids.push_back(addHost(set, ip));
    }
    RecordSet set{test::gridFields()};
    GridState state{set};
    std::vector<RecId> ids;
};

TEST_F(ViewTest, SortedBytewiseByTheSortFieldAndKeptWhenRowsChange)
{
    GridView view(state, test::gridColumns(), "Ip");
    QAbstractItemModelTester tester(view.sortModel(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(viewOrder(view),
              (std::vector<std::string>{"10.0.0.1", "10.0.0.10", "10.0.0.2", "9.0.0.1"}));
    addHost(set, "10.0.0.0");
    set.locateRecId(ids[3]);
    set.edit();
    set.setValue("Ip", "1.0.0.0");
    set.post();
    {
        SuspendGuard guard(set);
        addHost(set, "10.0.0.11");
        set.locateRecId(ids[1]);
        set.deleteCurrent();
    }
    EXPECT_EQ(viewOrder(view), (std::vector<std::string>{"1.0.0.0", "10.0.0.0", "10.0.0.1",
                                                         "10.0.0.11", "10.0.0.2"}));
}

TEST_F(ViewTest, ColumnsGetWidthsAndHiddenFlags)
{
    GridView view(state, test::gridColumns(), "Ip");
    EXPECT_EQ(view.columnWidth(0), 46);
    EXPECT_EQ(view.columnWidth(4), 83);
    EXPECT_TRUE(view.isColumnHidden(3));
    EXPECT_FALSE(view.isColumnHidden(4));
    EXPECT_EQ(view.selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(view.selectionBehavior(), QAbstractItemView::SelectRows);
}

TEST_F(ViewTest, CurrentRowFollowsTheCursorButNotInsideABracket)
{
    GridView view(state, test::gridColumns(), "Ip");
    set.locateRecId(ids[0]);
    EXPECT_EQ(view.recIdAtViewRow(view.currentIndex().row()), ids[0]);
    {
        SuspendGuard guard(set);
        set.locateRecId(ids[1]);
        EXPECT_EQ(view.recIdAtViewRow(view.currentIndex().row()), ids[0]);
    }
    EXPECT_EQ(view.recIdAtViewRow(view.currentIndex().row()), ids[1]);

    // The operator moving in the grid moves the cursor.
    view.setCurrentIndex(view.sortModel()->index(view.viewRowOf(ids[3]), 1));
    EXPECT_EQ(set.currentRecId(), ids[3]);
    // ... except while the logic walks the set.
    SuspendGuard guard(set);
    view.setCurrentIndex(view.sortModel()->index(view.viewRowOf(ids[2]), 1));
    EXPECT_EQ(set.currentRecId(), ids[3]);
}

TEST_F(ViewTest, SelectionIsBoundBothWays)
{
    GridView view(state, test::gridColumns(), "Ip");
    state.setSelection({ids[1], ids[3]});
    auto rows = view.selectionModel()->selectedRows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(view.selectionModel()->isRowSelected(view.viewRowOf(ids[1]), {}));
    EXPECT_TRUE(view.selectionModel()->isRowSelected(view.viewRowOf(ids[3]), {}));

    view.clearSelection();
    EXPECT_TRUE(state.selectedRecIds().empty());
    view.selectRow(view.viewRowOf(ids[2]));
    EXPECT_EQ(state.selectedRecIds(), (std::vector<RecId>{ids[2]}));
    view.selectAll();
    // In the grid's order: 10.0.0.1, 10.0.0.10, 10.0.0.2, 9.0.0.1.
    EXPECT_EQ(state.selectedRecIds(), (std::vector<RecId>{ids[2], ids[1], ids[0], ids[3]}));
    state.clearSelection();
    EXPECT_FALSE(view.selectionModel()->hasSelection());
}

TEST_F(ViewTest, FirstVisibleRowIsBoundBothWays)
{
    for (int i = 0; i < 60; ++i)
        addHost(set, "172.16.0." + std::to_string(i));
    GridView view(state, test::gridColumns(), "Ip");
    view.resize(400, 200);
    view.show();
    ASSERT_GT(view.verticalScrollBar()->maximum(), 10);
    state.setFirstVisibleRow(7);
    EXPECT_EQ(view.verticalScrollBar()->value(), 7);
    view.verticalScrollBar()->setValue(12);
    EXPECT_EQ(state.firstVisibleRow(), 12);
}

TEST_F(ViewTest, PaintHookIsAskedWithRecordVisiblePositionAndText)
{
    GridView view(state, test::gridColumns(), "Ip");
    std::vector<CellPaintRequest> asked;
    std::vector<std::string> texts;
    view.setCellPainter([&](const CellPaintRequest& r) {
        asked.push_back(r);
        texts.emplace_back(r.text);
        return CellStyle{Rgb{1, 2, 3}, std::nullopt, true};
    });
    int row = view.viewRowOf(ids[0]);
    CellStyle style = view.cellDelegate()->styleFor(view.sortModel()->index(row, 4), true);
    EXPECT_EQ(style, (CellStyle{Rgb{1, 2, 3}, std::nullopt, true}));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].recId, ids[0]);
    EXPECT_EQ(asked[0].row, row);
    EXPECT_EQ(asked[0].column, 3);  // the hidden column is not counted
    EXPECT_EQ(asked[0].field, "Name");
    EXPECT_TRUE(asked[0].selected);
    view.cellDelegate()->styleFor(view.sortModel()->index(row, 1), false);
    EXPECT_EQ(texts.back(), "10.0.0.2");

    view.setCellPainter(nullptr);  // back to the default: changes nothing
    EXPECT_EQ(view.cellDelegate()->styleFor(view.sortModel()->index(row, 1), false), CellStyle{});
}

TEST_F(ViewTest, PaintingRunsTheHookForVisibleCells)
{
    GridView view(state, test::gridColumns(), "Ip");
    int calls = 0;
    view.setCellPainter([&](const CellPaintRequest&) {
        ++calls;
        return CellStyle{Rgb{255, 255, 0}, Rgb{255, 0, 0}, true};
    });
    view.resize(600, 300);
    view.show();
    QPixmap shot = view.grab();
    EXPECT_FALSE(shot.isNull());
    EXPECT_GT(calls, 0);
}

TEST_F(ViewTest, CutTextShowsWholeAsAToolTipAndTextThatFitsNone)
{
    const std::string longName = "上海证券交易所第一报盘机备用线路";
    set.setValueById(ids[0], "Name", longName);  // 10.0.0.2
    set.setValueById(ids[1], "Name", "ok");       // 10.0.0.10
    GridView view(state, test::gridColumns(), "Ip");
    view.resize(600, 300);
    view.show();
    const int nameColumn = view.recordModel()->columnOf("Name");
    auto ask = [&](RecId id) {
        const QModelIndex index = view.sortModel()->index(view.viewRowOf(id), nameColumn);
        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.rect = view.visualRect(index);
        option.widget = &view;
        const QPoint at = option.rect.center();
        QHelpEvent help(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
        EXPECT_TRUE(view.cellDelegate()->helpEvent(&help, &view, option, index));
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(ask(ids[1]), QString());
    EXPECT_EQ(gbkText(ask(ids[0])), longName);
}

TEST_F(ViewTest, DiscKeepsItsColourOnASelectedRow)
{
    set.setValueById(ids[0], "Level", "2");  // yellow
    GridView view(state, test::gridColumns(), "Ip");
    view.resize(600, 300);
    view.show();
    const QModelIndex index =
        view.sortModel()->index(view.viewRowOf(ids[0]), view.recordModel()->columnOf("Level"));
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.rect = QRect(0, 0, 30, 20);
    option.widget = &view;
    option.state |= QStyle::State_Selected;
    QImage image(30, 20, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    view.cellDelegate()->paint(&painter, option, index);
    painter.end();
    EXPECT_EQ(image.pixel(15, 10) & 0xFFFFFF, qRgb(255, 255, 0) & 0xFFFFFF);
}

// A plain cell keeps its text laid out from one repaint to the next: what it draws, the
// first time and from what it kept, is what a straight drawText() of the cell draws.
TEST_F(ViewTest, PlainCellDrawsWhatDrawTextDraws)
{
    GridView view(state, test::gridColumns(), "Ip");
    const int nameColumn = view.recordModel()->columnOf("Name");
    const QRect rect(0, 0, 83, 22);
    struct Case { std::string text; bool bold; };
    const Case cases[] = {{"10.0.0.2", false}, {"报盘机别名", false}, {"运行", true},
                          {"上海证券交易所第一报盘机备用线路", false}, {"", true}};
    for (const Case& c : cases) {
        set.setValueById(ids[0], "Name", c.text);
        view.setCellPainter([&](const CellPaintRequest&) {
            return CellStyle{Rgb{255, 255, 0}, Rgb{255, 0, 0}, c.bold};
        });
        const QModelIndex index = view.sortModel()->index(view.viewRowOf(ids[0]), nameColumn);
        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.rect = rect;
        option.widget = &view;
        option.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        auto drawn = [&] {
            QImage image(rect.size(), QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            view.cellDelegate()->paint(&painter, option, index);
            return image;
        };
        QImage expected(rect.size(), QImage::Format_RGB32);
        {
            QPainter painter(&expected);
            painter.fillRect(rect, QColor(255, 255, 0));
            QFont font = option.font;
            font.setBold(c.bold);
            const int margin = view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr,
                                                         &view) + 1;
            const QRect area = rect.adjusted(margin, 0, -margin, 0);
            const QString text = qtText(c.text);
            const QFontMetrics metrics(font);
            painter.setFont(font);
            painter.setPen(QColor(255, 0, 0));
            painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                             metrics.horizontalAdvance(text) > area.width()
                                 ? metrics.elidedText(text, Qt::ElideRight, area.width())
                                 : text);
        }
        EXPECT_EQ(drawn(), expected) << c.text;
        EXPECT_EQ(drawn(), expected) << c.text << " (drawn again)";
    }
}

} // namespace
} // namespace tarvo
