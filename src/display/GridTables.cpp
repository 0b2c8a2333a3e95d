// The host and PBU table layouts.
#include "display/GridTables.h"

namespace tarvo {

namespace {
FieldDef text(std::string name, int size = 20)
{
    return {std::move(name), size, FieldKind::Text, false};
}
FieldDef key(std::string name, int size)
{
    return {std::move(name), size, FieldKind::Text, true};
}
FieldDef boolean(std::string name)
{
    return {std::move(name), 5, FieldKind::Boolean, false};
}
} // namespace

std::vector<FieldDef> hostTableFields()
{
    return {
        boolean("HOSTColumnCheck"),
        key("ChannelIP", 15),
        text("hostName", 40),
        text("Connection"),
        text("OESStatusA"),
        text("OESStatusB"),
        text("activePBUs", 100),
        text("InactivePBUs", 100),
        text("PbuPrinted"),
        text("OESVersion"),
        text("EnvNo", 30),
        text("DiskUsage"),
        text("MemoryUsage"),
        text("CpuUsage"),
        text("WarningLevelA"),
        text("WarningLevelB"),
    };
}

std::vector<FieldDef> pbuTableFields()
{
    return {
        text("OES"),
        key("HostIp", 20),
        text("ID"),
        text("Operator"),
        text("Status"),
        text("Submitted"),
        text("Responsed"),
        text("CJHB"),
        key("PbuIden", 60),
        boolean("Checked"),
        text("MaxIndex"),
        text("OESStatus"),
        text("CSIP"),
        text("LocalIP"),
        text("Capability"),
        text("Work"),
        text("WarningLevel"),
    };
}

std::unique_ptr<RecordSet> makeHostTable()
{
    return std::make_unique<RecordSet>(hostTableFields());
}

std::unique_ptr<RecordSet> makePbuTable()
{
    return std::make_unique<RecordSet>(pbuTableFields());
}

std::vector<ColumnDef> hostGridColumns()
{
    using K = ColumnKind;
    return {
        {"HOSTColumnCheck", "选择", 46, K::CheckBox, false},
        {"ChannelIP", "线路IP", 104, K::Text, false},
        {"hostName", "报盘机别名", 83, K::Text, false},
        {"Connection", "连接状态", 61, K::Text, false},
        {"WarningLevelA", "图", 30, K::Image, false},
        {"OESStatusA", "A股报盘", 65, K::Text, false},
        {"WarningLevelB", "图", 31, K::Image, false},
        {"OESStatusB", "B股报盘", 65, K::Text, false},
        {"EnvNo", "后台环境", 99, K::Text, false},
        {"activePBUs", "活跃PBU", 63, K::Text, false},
        {"InactivePBUs", "休眠PBU", 69, K::Text, false},
        {"CpuUsage", "CPU占用率", 77, K::Text, false},
        {"DiskUsage", "硬盘占用率", 84, K::Text, false},
        {"MemoryUsage", "内存占用率", 83, K::Text, false},
        {"PbuPrinted", "PBU是否显示", 64, K::Text, true},
        {"OESVersion", "报盘程序版本", 124, K::Text, false},
    };
}

std::vector<ColumnDef> pbuGridColumns()
{
    using K = ColumnKind;
    return {
        {"Checked", "选择", 34, K::CheckBox, false},
        {"HostIp", "主机IP", 85, K::Text, false},
        {"OES", "Tarvo", 59, K::Text, false},
        {"ID", "PBU", 42, K::Text, false},
        {"Operator", "操作员代码", 87, K::Text, false},
        {"WarningLevel", "图", 32, K::Image, false},
        {"OESStatus", "Tarvo状态", 70, K::Text, false},
        {"Status", "PBU状态", 74, K::Text, false},
        {"CSIP", "CS IP", 90, K::Text, false},
        {"LocalIP", "Local IP", 90, K::Text, false},
        {"Work", "当前工作", 80, K::Text, false},
        {"Submitted", "发送委托数量", 87, K::Text, false},
        {"Responsed", "委托应答数量", 94, K::Text, false},
        {"CJHB", "成交回报数量", 88, K::Text, false},
        {"Capability", "流速权值", 59, K::Text, false},
        {"MaxIndex", "最大委托序号", 83, K::Text, false},
    };
}

} // namespace tarvo
