// What a grid draws: the same pixels as a plain table view over the same model and delegate,
// for the whole viewport and for regions of a few cells, and the region a cell repaint asks.
#include "GridTestLayout.h"
#include "framework/GridView.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QPaintEvent>

#include <tuple>

#include <gtest/gtest.h>

namespace tarvo {
namespace {

// Records the regions the viewport is asked to paint.
struct RegionSpy : QObject {
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
    QRegion painted;
};

struct GridPaintTest : testing::Test {
    GridPaintTest()
    {
        for (int i = 0; i < 40; ++i) {
            set.append();
            set.setValue("Ip", "10.0.0." + std::to_string(i));
            set.setValue("Name", i % 3 ? "报盘机" + std::to_string(i) : std::string());
            set.setValue("Level", std::to_string(i % 4));
            set.setValue("Check", i % 2 ? "True" : "False");
            set.setValue("Cpu", std::to_string(i * 7 % 100) + "%");
            set.setValue("Mem", "63%");
            set.post();
            ids.push_back(set.currentRecId());
        }
        // Flash-like colours on some counters, bold and coloured text on others.
        grid.setCellPainter([](const CellPaintRequest& cell) {
            CellStyle style;
            if (cell.field == "Cpu" && cell.row % 2 == 0)
                style.background = Rgb{255, 255, 0};
            if (cell.field == "Mem" && cell.row % 5 < 3)
                style.background = Rgb{255, 255, 255};
            if (cell.field == "Name" && cell.row % 4 == 1) {
                style.font = Rgb{200, 0, 0};
                style.bold = true;
            }
            return style;
        });
        state.setSelection({ids[3], ids[4]});
        // The reference: a plain table over the same model, selection and delegate.
        plain.setModel(grid.sortModel());
        plain.setSelectionModel(grid.selectionModel());
        plain.setItemDelegate(grid.cellDelegate());
        plain.setWordWrap(false);
        plain.verticalHeader()->setDefaultSectionSize(grid.verticalHeader()->defaultSectionSize());
        plain.verticalHeader()->hide();
        const auto& columns = grid.columns();
        for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
            plain.setColumnWidth(c, columns[c].width);
            plain.setColumnHidden(c, columns[c].hidden);
        }
        for (QTableView* view : {static_cast<QTableView*>(&grid), &plain}) {
            view->setFocusPolicy(Qt::NoFocus);
            view->resize(520, 300);
            view->show();
        }
    }
    QImage render(QTableView& view, const QRegion& region) const
    {
        QImage image(view.viewport()->size(), QImage::Format_RGB32);
        image.fill(qRgb(255, 0, 255));
        view.viewport()->render(&image, QPoint(), region);
        return image;
    }
    QRect cell(int row, int column) const { return grid.visualRect(grid.sortModel()->index(row, column)); }

    RecordSet set{test::gridFields(true)};
    GridState state{set};
    GridView grid{state, test::gridColumns(true), "Ip"};
    QTableView plain;
    std::vector<RecId> ids;
};

// With 40 rows for regions of the viewport, then with 3 rows and none, where below the last
// row there is only background.
TEST_F(GridPaintTest, GridDrawsThePixelsOfAPlainTable)
{
    const QRect port = grid.viewport()->rect();
    const std::vector<std::tuple<const char*, int, QRegion>> cases = {
        {"whole viewport", 40, QRegion(port)},
        {"one cell", 40, QRegion(cell(2, 5))},
        {"a column run", 40, QRegion(cell(1, 5).united(cell(6, 5)))},
        {"cells in other rows and columns", 40,
         QRegion(cell(0, 6)) + cell(2, 5) + cell(3, 1) + cell(7, 4) + cell(8, 0) + cell(9, 2)},
        {"parts of cells", 40, QRegion(QRect(30, 10, 90, 37)) + QRect(200, 40, 75, 5)},
        {"beyond the last column and row", 40,
         QRegion(QRect(port.width() - 120, 0, 120, port.height()))},
        {"3 rows", 3, QRegion(port)},
        {"no rows", 0, QRegion(port)},
    };
    for (const auto& [name, rows, region] : cases) {
        while (set.count() > rows) {
            set.locateRecId(ids[static_cast<std::size_t>(set.count()) - 1]);
            set.deleteCurrent();
        }
        QApplication::processEvents();
        EXPECT_TRUE(render(grid, region) == render(plain, region)) << name;
    }
}

TEST_F(GridPaintTest, RepaintingCellsAsksForExactlyTheirRectangles)
{
    RegionSpy spy;
    grid.viewport()->installEventFilter(&spy);
    const std::vector<std::pair<const char*, std::vector<GridCell>>> cases = {
        {"a column of rows", {{ids[1], 5}, {ids[2], 5}, {ids[3], 5}, {ids[4], 5}}},
        {"adjacent columns", {{ids[2], 4}, {ids[2], 5}, {ids[2], 6}, {ids[3], 5}, {ids[3], 6}}},
        {"scattered", {{ids[0], 1}, {ids[5], 6}, {ids[9], 4}}},
        {"a hidden column and a gone row", {{ids[1], 3}, {kNoRecId, 5}, {ids[6], 5}}},
    };
    for (const auto& [name, cells] : cases) {
        // Whatever showing and laying out still owe is painted first.
        for (int round = 0; round < 10; ++round) {
            spy.painted = QRegion();
            QApplication::processEvents();
            if (spy.painted.isEmpty())
                break;
        }
        QRegion expected;
        for (const GridCell& c : cells)
            expected += grid.cellRect(c);
        grid.repaintCells(cells);
        QApplication::processEvents();
        EXPECT_EQ(spy.painted, expected) << name;
    }
}

} // namespace
} // namespace tarvo
