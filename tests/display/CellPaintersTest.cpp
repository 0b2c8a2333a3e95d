// Cell painters over the colour tables and the flash rules; the flash clock's steps and the
// cells they repaint (offscreen grids).
#include "display/CellPainters.h"
#include "display/GridTables.h"

#include <gtest/gtest.h>

#include <set>

#ifdef QT_WIDGETS_LIB
#include "display/FlashClock.h"
#include "framework/GridView.h"

#include <QApplication>
#endif

namespace tarvo {
namespace {

struct Painters : ::testing::Test {
    Painters()
    {
        auto h = std::make_unique<HostSubject>("h1", ip, "10012");
        host = h.get();
        host->getPbuList().push_back(std::make_unique<Pbu>("A", "12345678901"));
        pbu = host->getPbuList().back().get();
        pool.add(h);
        hostRow = addRow(*hosts, {{"ChannelIP", ip}});
        pbuRow = addRow(*pbus,
                        {{"HostIp", ip}, {"OES", "A"}, {"ID", "12345"}, {"Operator", "678901"}});
    }
    static RecId addRow(RecordSet& set, std::vector<std::pair<std::string, std::string>> values)
    {
        set.append();
        for (auto& [field, value] : values)
            set.setValue(field, value);
        set.post();
        return set.currentRecId();
    }
    // The request a grid makes for a field's cell of a row, with the row's text.
    static CellPaintRequest cell(const RecordSet& set, const std::vector<ColumnDef>& columns,
                                 RecId id, std::string_view field, bool selected = false)
    {
        const int position = set.positionOf(id);
        return {id, 0, visiblePositionOf(columns, columnIndexOf(columns, field)), field, selected,
                position < 0 ? std::string_view{} : std::string_view(set.valueAt(position, field))};
    }
    CellStyle hostStyle(std::string_view field, bool selected = false, Rgb flash = kYellow)
    {
        return dxdgHostCustomDrawCell(cell(*hosts, hostGridColumns(), hostRow, field, selected),
                                      *hosts, pool, flash);
    }
    CellStyle pbuStyle(std::string_view field, bool selected = false, Rgb flash = kYellow)
    {
        return dxdgPBUCustomDrawCell(cell(*pbus, pbuGridColumns(), pbuRow, field, selected),
                                     *pbus, pool, flash);
    }
    // Every cell of both rows non-empty and every flag "T".
    void fillAndFlagAll()
    {
        for (auto* set : {hosts.get(), pbus.get()})
            for (int f = 0; f < set->fieldCount(); ++f)
                if (set->valueAt(0, f).empty())
                    set->setValueById(set->recIdAt(0), set->fields()[f].name, "9");
        for (auto* flag : {&host->activePbusChanged, &host->inactivePbusChanged,
                           &host->cpuUsageChanged, &host->diskUsageChanged,
                           &host->memoryUsageChanged, &pbu->oesStatusChanged, &pbu->statusChanged,
                           &pbu->csIPChanged, &pbu->localIPChanged, &pbu->submittedChanged,
                           &pbu->responsedChanged, &pbu->cjhbChanged})
            *flag = "T";
    }

    const std::string ip = "10.0.0.1";
    HostSubjectPool pool;
    HostSubject* host = nullptr;
    Pbu* pbu = nullptr;
    std::unique_ptr<RecordSet> hosts = makeHostTable();
    std::unique_ptr<RecordSet> pbus = makePbuTable();
    RecId hostRow = kNoRecId;
    RecId pbuRow = kNoRecId;
};

struct StateCase {
    bool pbuGrid;
    const char* field;
    const char* value;
    CellStyle style;
};
struct States : Painters, ::testing::WithParamInterface<StateCase> {};

TEST_P(States, ValueGivesItsColoursUnlessSelected)
{
    const auto& [pbuGrid, field, value, style] = GetParam();
    (pbuGrid ? *pbus : *hosts).setValueById(pbuGrid ? pbuRow : hostRow, field, value);
    auto paint = [&](bool selected) {
        return pbuGrid ? pbuStyle(field, selected) : hostStyle(field, selected);
    };
    EXPECT_EQ(paint(false), style);
    EXPECT_EQ(paint(true), CellStyle{}) << "selected cells keep the grid's colours";
}
INSTANTIATE_TEST_SUITE_P(Cells, States, ::testing::Values(
    StateCase{false, "Connection", "已连接", {{}, kGreen, false}},
    StateCase{false, "Connection", "已断开", {{}, kRed, false}},
    StateCase{false, "Connection", "未连接", {{}, kMaroon, false}},
    StateCase{false, "Connection", "运行", {{}, kGrey, false}},
    StateCase{false, "EnvNo", "生产环境", {kOlive, {}, false}},
    StateCase{false, "EnvNo", "测试环境[03]", {kLightRed, {}, true}},
    StateCase{false, "EnvNo", "", {kWhite, {}, false}},
    StateCase{false, "OESStatusA", "运行", {}},
    StateCase{true, "OESStatus", "运行", {{}, kGreen, false}},
    StateCase{true, "OESStatus", "停止", {{}, kRed, false}},
    StateCase{true, "OESStatus", "初始化中", {{}, kGrey, false}},
    StateCase{true, "Status", "运行", {{}, kGreen, false}},
    StateCase{true, "Status", "停止", {{}, kRed, false}},
    StateCase{true, "Status", "初始化中", {{}, kMaroon, false}},
    StateCase{true, "Status", "正在登录", {{}, kMaroon, false}},
    StateCase{true, "Status", "正在注销", {{}, kMaroon, false}},
    StateCase{true, "Status", "未知", {{}, kGrey, false}},
    StateCase{true, "CSIP", "停止", {}}));

std::set<int> flashing(const std::vector<ColumnDef>& columns,
                       const std::function<CellStyle(std::string_view)>& style)
{
    std::set<int> positions;
    for (const auto& column : columns)
        if (!column.hidden && style(column.field).background == kYellow)
            positions.insert(visiblePositionOf(columns, columnIndexOf(columns, column.field)));
    return positions;
}

TEST_F(Painters, FlashNeedsTextAndFlagAndNoSelectionAndCombinesWithTheFont)
{
    fillAndFlagAll();
    EXPECT_EQ(hostStyle("CpuUsage", false, kWhite), (CellStyle{kWhite, {}, false}));
    EXPECT_EQ(hostStyle("CpuUsage", true), CellStyle{});
    EXPECT_EQ(pbuStyle("Submitted", true), CellStyle{});
    pbus->setValueById(pbuRow, "Status", "停止");
    EXPECT_EQ(pbuStyle("Status"), (CellStyle{kYellow, kRed, false}));
    hosts->setValueById(hostRow, "DiskUsage", "");
    pbus->setValueById(pbuRow, "CJHB", "");
    EXPECT_EQ(hostStyle("DiskUsage"), CellStyle{});
    EXPECT_EQ(pbuStyle("CJHB"), CellStyle{});
    EXPECT_EQ(hosts->currentRecId(), hostRow) << "painting leaves the cursor alone";
}

// Each flashing column follows its own flag: with only that flag "T", only it flashes.
struct FlagCase {
    int position;
    std::string Host::*hostFlag;
    std::string Pbu::*pbuFlag;
};
struct OwnFlag : Painters, ::testing::WithParamInterface<FlagCase> {};
TEST_P(OwnFlag, OnlyItsColumnFlashes)
{
    fillAndFlagAll();
    for (auto flag : {&Host::activePbusChanged, &Host::inactivePbusChanged, &Host::cpuUsageChanged,
                      &Host::diskUsageChanged, &Host::memoryUsageChanged})
        host->*flag = flag == GetParam().hostFlag ? "T" : "F";
    for (auto flag : {&Pbu::oesStatusChanged, &Pbu::statusChanged, &Pbu::csIPChanged,
                      &Pbu::localIPChanged, &Pbu::submittedChanged, &Pbu::responsedChanged,
                      &Pbu::cjhbChanged})
        pbu->*flag = flag == GetParam().pbuFlag ? "T" : "F";
    const std::set<int> own{GetParam().position}, none;
    EXPECT_EQ(flashing(hostGridColumns(), [&](auto f) { return hostStyle(f); }),
              GetParam().hostFlag ? own : none);
    EXPECT_EQ(flashing(pbuGridColumns(), [&](auto f) { return pbuStyle(f); }),
              GetParam().pbuFlag ? own : none);
}
INSTANTIATE_TEST_SUITE_P(Columns, OwnFlag, ::testing::Values(
    FlagCase{9, &Host::activePbusChanged, &Pbu::localIPChanged},
    FlagCase{10, &Host::inactivePbusChanged, nullptr},
    FlagCase{11, &Host::cpuUsageChanged, &Pbu::submittedChanged},
    FlagCase{12, &Host::diskUsageChanged, &Pbu::responsedChanged},
    FlagCase{13, &Host::memoryUsageChanged, &Pbu::cjhbChanged},
    FlagCase{6, nullptr, &Pbu::oesStatusChanged},
    FlagCase{7, nullptr, &Pbu::statusChanged},
    FlagCase{8, nullptr, &Pbu::csIPChanged}));

TEST_F(Painters, RowsWithoutTheirHostOrPbuNeverFlash)
{
    fillAndFlagAll();
    EXPECT_EQ(pbuStyle("Submitted").background, kYellow);
    pbus->setValueById(pbuRow, "OES", "B");  // no PBU of that program
    EXPECT_FALSE(pbuStyle("Submitted").background);
    pbus->setValueById(pbuRow, "OES", "A");
    pbu->setOperatorNumber("123456789012");  // ID and Operator hold only its first 11 bytes
    EXPECT_FALSE(pbuStyle("Submitted").background);
    EXPECT_EQ(pbuStyle("Status").font, kGrey) << "the state font does not need the PBU";

    EXPECT_EQ(hostStyle("CpuUsage").background, kYellow);
    hosts->setValueById(hostRow, "ChannelIP", "10.0.0.2");
    pbus->setValueById(pbuRow, "HostIp", "10.0.0.2");
    EXPECT_FALSE(hostStyle("CpuUsage").background);
    EXPECT_FALSE(pbuStyle("Status").background);
}

TEST_F(Painters, AnotherTableLayoutIsReadByFieldName)
{
    fillAndFlagAll();
    auto fields = pbuTableFields();
    std::reverse(fields.begin(), fields.end());
    RecordSet other(fields);
    RecId id = addRow(other, {{"HostIp", ip}, {"OES", "A"}, {"ID", "12345"},
                              {"Operator", "678901"}, {"Status", "运行"}});
    EXPECT_EQ(pbuStyle("Status").font, kGrey);
    auto paint = [&](RecId row) {
        return dxdgPBUCustomDrawCell(cell(other, pbuGridColumns(), row, "Status"), other, pool,
                                     kYellow);
    };
    EXPECT_EQ(paint(id), (CellStyle{kYellow, kGreen, false}));
    EXPECT_EQ(paint(id + 1), CellStyle{}) << "a row no longer in the set";
}

#ifdef QT_WIDGETS_LIB
// The test main normally provides the application; this one runs the tests without it.
bool ensureApplication()
{
    if (QApplication::instance())
        return true;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "display_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives to the end of the run
    return true;
}

using Cells = std::set<std::pair<RecId, int>>;  // record, visible position

struct Flash : Painters {
    Flash()
    {
        for (int i = 2; i <= 40; ++i) {
            addRow(*hosts, {{"ChannelIP", "10.0.0." + std::to_string(i)}, {"CpuUsage", "1%"}});
            addRow(*pbus, {{"HostIp", "10.0.0." + std::to_string(i)}, {"Submitted", "1"}});
        }
        int g = 0;
        for (GridView* grid : {&hostGrid, pbuGrid.get()}) {
            // Cells in lit[g] get the flash background; painted[g] collects what is drawn.
            grid->setCellPainter([this, g](const CellPaintRequest& c) {
                painted[g].insert({c.recId, c.column});
                if (!lit[g].count({c.recId, c.column}))
                    return CellStyle{};
                return CellStyle{clock.flashColour(), {}, false};
            });
            grid->recordSet().first();
            grid->resize(1180, 300);
            grid->show();
            grid->scrollToTop();
            ++g;
        }
        clock.setGrids(&hostGrid, pbuGrid.get());
    }
    // The cells each grid draws for one flash step.
    std::pair<Cells, Cells> stepPaints()
    {
        // Showing and laying out the grids takes a few rounds of full paints.
        for (int round = 0; round < 10; ++round) {
            painted[0].clear();
            painted[1].clear();
            QApplication::processEvents();
            if (painted[0].empty() && painted[1].empty())
                break;
        }
        clock.TimerFlashTimer();
        painted[0].clear();  // what the step asked the painters is no drawing
        painted[1].clear();
        QApplication::processEvents();
        return {painted[0], painted[1]};
    }

    const bool application = ensureApplication();  // before the first widget
    GridState hostState{*hosts};
    GridState pbuState{*pbus};
    GridView hostGrid{hostState, hostGridColumns(), kHostSortField};
    std::unique_ptr<GridView> pbuGrid =
        std::make_unique<GridView>(pbuState, pbuGridColumns(), kPbuSortField);
    FlashClock clock;
    Cells lit[2];
    Cells painted[2];
};

TEST_F(Flash, StepsAlternateWhiteAndYellowOnA500msTimer)
{
    int flashed = 0;
    QObject::connect(&clock, &FlashClock::flashed, [&] { ++flashed; });
    EXPECT_EQ(clock.flashColour(), kWhite);
    EXPECT_FALSE(clock.isActive());
    clock.start();
    EXPECT_TRUE(clock.isActive());
    EXPECT_EQ(clock.intervalMs(), 500);
    const Rgb expected[] = {kYellow, kWhite, kYellow};
    for (Rgb colour : expected) {
        clock.TimerFlashTimer();
        EXPECT_EQ(clock.flashColour(), colour);
    }
    EXPECT_EQ(flashed, 3);
}

TEST_F(Flash, StepRepaintsTheVisibleFlashingCellsAndThoseThatJustStopped)
{
    const RecId a = hostGrid.recIdAtViewRow(0), b = hostGrid.recIdAtViewRow(1);
    const RecId last = hostGrid.recIdAtViewRow(39), c = pbuGrid->recIdAtViewRow(2);
    // A background outside the flashing columns, or on a row scrolled out, is not the clock's.
    lit[0] = {{a, 11}, {b, 9}, {a, 2}, {last, 12}};
    lit[1] = {{c, 7}, {c, 13}};
    EXPECT_EQ(stepPaints(), std::make_pair(Cells{{a, 11}, {b, 9}}, lit[1]));

    lit[0].erase({a, 11});  // its flag turned "F": drawn once more, without the flash
    lit[1].clear();
    EXPECT_EQ(stepPaints(), std::make_pair(Cells{{a, 11}, {b, 9}}, Cells{{c, 7}, {c, 13}}));
    EXPECT_EQ(stepPaints(), std::make_pair(Cells{{b, 9}}, Cells{}));

    lit[1] = {{c, 6}};
    pbuGrid->hide();  // the page not shown
    EXPECT_TRUE(stepPaints().second.empty());
    pbuGrid.reset();  // a grid gone before the clock is dropped
    EXPECT_EQ(stepPaints().first, (Cells{{b, 9}}));
}

TEST_F(Flash, InstalledPaintersUseTheClocksColour)
{
    fillAndFlagAll();
    installCellPainters(hostGrid, *pbuGrid, pool, clock);
    auto style = [](GridView& grid, std::string_view field) {
        QModelIndex index = grid.model()->index(grid.viewRowOf(grid.recordSet().recIdAt(0)),
                                                columnIndexOf(grid.columns(), field));
        return grid.cellDelegate()->styleFor(index, false);
    };
    EXPECT_EQ(style(hostGrid, "CpuUsage").background, kWhite);
    clock.TimerFlashTimer();
    EXPECT_EQ(style(hostGrid, "CpuUsage").background, kYellow);
    EXPECT_EQ(style(*pbuGrid, "Status"), (CellStyle{kYellow, kGrey, false}));
}
#endif

} // namespace

void PrintTo(const CellStyle& style, std::ostream* os)
{
    auto rgb = [os](const std::optional<Rgb>& c) {
        if (c)
            *os << int(c->r) << "," << int(c->g) << "," << int(c->b);
        else
            *os << "-";
    };
    *os << "{background ";
    rgb(style.background);
    *os << " font ";
    rgb(style.font);
    *os << (style.bold ? " bold}" : "}");
}

} // namespace tarvo
