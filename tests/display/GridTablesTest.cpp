// The host and PBU table layouts: field order and sizes, columns, captions, hidden column.
#include "display/GridTables.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

std::vector<std::string> names(const std::vector<FieldDef>& fields)
{
    std::vector<std::string> out;
    for (const auto& f : fields)
        out.push_back(f.name);
    return out;
}

TEST(GridTables, HostTableFieldsInOrderWithSizesAndKey)
{
    auto table = makeHostTable();
    EXPECT_EQ(names(table->fields()),
              (std::vector<std::string>{"HOSTColumnCheck", "ChannelIP", "hostName", "Connection",
                                        "OESStatusA", "OESStatusB", "activePBUs", "InactivePBUs",
                                        "PbuPrinted", "OESVersion", "EnvNo", "DiskUsage",
                                        "MemoryUsage", "CpuUsage", "WarningLevelA",
                                        "WarningLevelB"}));
    EXPECT_EQ(table->fieldSize("ChannelIP"), 15);
    EXPECT_EQ(table->fieldSize("hostName"), 40);
    EXPECT_EQ(table->fieldSize("activePBUs"), 100);
    EXPECT_EQ(table->fieldSize("InactivePBUs"), 100);
    EXPECT_EQ(table->fieldSize("EnvNo"), 30);
    EXPECT_EQ(table->fieldSize("Connection"), 20);
    EXPECT_EQ(table->fields()[0].kind, FieldKind::Boolean);
    EXPECT_TRUE(table->fields()[1].indexed);
}

TEST(GridTables, PbuTableFieldsInOrderWithSizesAndKeys)
{
    auto table = makePbuTable();
    EXPECT_EQ(names(table->fields()),
              (std::vector<std::string>{"OES", "HostIp", "ID", "Operator", "Status", "Submitted",
                                        "Responsed", "CJHB", "PbuIden", "Checked", "MaxIndex",
                                        "OESStatus", "CSIP", "LocalIP", "Capability", "Work",
                                        "WarningLevel"}));
    EXPECT_EQ(table->fieldSize("PbuIden"), 60);
    EXPECT_EQ(table->fieldSize("Work"), 20);
    EXPECT_EQ(table->fields()[table->fieldIndex("Checked")].kind, FieldKind::Boolean);
    EXPECT_TRUE(table->fields()[table->fieldIndex("PbuIden")].indexed);
    EXPECT_TRUE(table->fields()[table->fieldIndex("HostIp")].indexed);
}

struct Col {
    int position;
    const char* caption;
    const char* field;
    int width;
    ColumnKind kind;
};

void expectColumns(const std::vector<ColumnDef>& columns, const std::vector<Col>& expected)
{
    std::vector<const ColumnDef*> visible;
    for (const auto& c : columns) {
        if (!c.hidden)
            visible.push_back(&c);
    }
    ASSERT_EQ(visible.size(), expected.size());
    for (const auto& e : expected) {
        const ColumnDef& c = *visible[e.position];
        EXPECT_EQ(c.caption, e.caption) << e.position;
        EXPECT_EQ(c.field, e.field) << e.position;
        EXPECT_EQ(c.width, e.width) << e.position;
        EXPECT_EQ(c.kind, e.kind) << e.position;
        EXPECT_EQ(visiblePositionOf(columns, columnIndexOf(columns, e.field)), e.position);
    }
}

TEST(GridTables, HostGridColumns)
{
    using K = ColumnKind;
    auto columns = hostGridColumns();
    expectColumns(columns, {{0, "选择", "HOSTColumnCheck", 46, K::CheckBox},
                            {1, "线路IP", "ChannelIP", 104, K::Text},
                            {2, "报盘机别名", "hostName", 83, K::Text},
                            {3, "连接状态", "Connection", 61, K::Text},
                            {4, "图", "WarningLevelA", 30, K::Image},
                            {5, "A股报盘", "OESStatusA", 65, K::Text},
                            {6, "图", "WarningLevelB", 31, K::Image},
                            {7, "B股报盘", "OESStatusB", 65, K::Text},
                            {8, "后台环境", "EnvNo", 99, K::Text},
                            {9, "活跃PBU", "activePBUs", 63, K::Text},
                            {10, "休眠PBU", "InactivePBUs", 69, K::Text},
                            {11, "CPU占用率", "CpuUsage", 77, K::Text},
                            {12, "硬盘占用率", "DiskUsage", 84, K::Text},
                            {13, "内存占用率", "MemoryUsage", 83, K::Text},
                            {14, "报盘程序版本", "OESVersion", 124, K::Text}});
    // The hidden column sits between positions 13 and 14.
    int hidden = columnIndexOf(columns, "PbuPrinted");
    EXPECT_EQ(hidden, 14);
    EXPECT_TRUE(columns[hidden].hidden);
    EXPECT_EQ(columns[hidden].caption, "PBU是否显示");
    // Every column names a field of the table.
    auto table = makeHostTable();
    for (const auto& c : columns)
        EXPECT_GE(table->fieldIndex(c.field), 0) << c.field;
    // Captions are GBK bytes.
    EXPECT_EQ(columns[0].caption, "\xD1\xA1\xD4\xF1");
}

TEST(GridTables, PbuGridColumns)
{
    using K = ColumnKind;
    auto columns = pbuGridColumns();
    expectColumns(columns, {{0, "选择", "Checked", 34, K::CheckBox},
                            {1, "主机IP", "HostIp", 85, K::Text},
                            {2, "Tarvo", "OES", 59, K::Text},
                            {3, "PBU", "ID", 42, K::Text},
                            {4, "操作员代码", "Operator", 87, K::Text},
                            {5, "图", "WarningLevel", 32, K::Image},
                            {6, "Tarvo状态", "OESStatus", 70, K::Text},
                            {7, "PBU状态", "Status", 74, K::Text},
                            {8, "CS IP", "CSIP", 90, K::Text},
                            {9, "Local IP", "LocalIP", 90, K::Text},
                            {10, "当前工作", "Work", 80, K::Text},
                            {11, "发送委托数量", "Submitted", 87, K::Text},
                            {12, "委托应答数量", "Responsed", 94, K::Text},
                            {13, "成交回报数量", "CJHB", 88, K::Text},
                            {14, "流速权值", "Capability", 59, K::Text},
                            {15, "最大委托序号", "MaxIndex", 83, K::Text}});
    auto table = makePbuTable();
    for (const auto& c : columns)
        EXPECT_GE(table->fieldIndex(c.field), 0) << c.field;
}

} // namespace
} // namespace tarvo
