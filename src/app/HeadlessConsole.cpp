// Printing the console's state to a terminal or a log.
#include "app/HeadlessConsole.h"

#include "app/Fmain.h"
#include "platform/Gbk.h"

namespace tarvo {

namespace {

struct Column
{
    const char *field;
    const char *caption;
    size_t width;
};

const Column kHostColumns[] = {
    {"ChannelIP", "线路IP", 16},      {"hostName", "报盘机别名", 16}, {"Connection", "连接状态", 10},
    {"OESStatusA", "A股报盘", 10},   {"OESStatusB", "B股报盘", 10},  {"EnvNo", "后台环境", 14},
    {"activePBUs", "活跃PBU", 8},     {"InactivePBUs", "休眠PBU", 8}, {"CpuUsage", "CPU", 6},
    {"DiskUsage", "硬盘", 6},         {"MemoryUsage", "内存", 6},
};

const Column kPbuColumns[] = {
    {"HostIp", "主机IP", 16},      {"OES", "Tarvo", 13},          {"ID", "PBU", 7},
    {"Operator", "操作员代码", 11}, {"OESStatus", "Tarvo状态", 10}, {"Status", "PBU状态", 10},
    {"Submitted", "发送委托", 10}, {"Responsed", "委托应答", 10}, {"CJHB", "成交回报", 10},
};

template <size_t N>
std::string formatTable(const RecordSet &table, const Column (&columns)[N])
{
    std::string text;
    for (const Column &c : columns)
        text += padColumn(c.caption, c.width);
    text += '\n';
    for (int row = 0; row < table.count(); ++row) {
        for (const Column &c : columns)
            text += padColumn(table.valueAt(row, c.field), c.width);
        text += '\n';
    }
    return text;
}

} // namespace

std::string padColumn(const std::string &gbk, size_t width)
{
    std::string text;
    // Room for one blank between columns; a lead byte (>= 0x81) starts a two-byte character.
    for (size_t i = 0; i < gbk.size();) {
        const size_t length = static_cast<unsigned char>(gbk[i]) >= 0x81 ? 2 : 1;
        if (text.size() + length >= width)
            break;
        text.append(gbk, i, length);
        i += length;
    }
    text.append(width - text.size(), ' ');
    return text;
}

std::string formatHostTable(const RecordSet &hosts) { return formatTable(hosts, kHostColumns); }

std::string formatPbuTable(const RecordSet &pbus) { return formatTable(pbus, kPbuColumns); }

HeadlessConsole::HeadlessConsole(TF_Main &mainWindow, std::FILE *output)
    : window(mainWindow), out(output)
{
    for (const auto &line : window.errorList().lines())
        std::fprintf(out, "%s\n", gbk::toUtf8(line).c_str());
    std::fflush(out);
    window.errorList().setEcho([this](const std::string &line) {
        std::fprintf(out, "%s\n", gbk::toUtf8(line).c_str());
        std::fflush(out);
    });
    connect(&window, &TF_Main::pollTick, this, &HeadlessConsole::printTables);
}

HeadlessConsole::~HeadlessConsole() { window.errorList().setEcho({}); }

void HeadlessConsole::printTables()
{
    std::string text = "\n" + window.timeStamp() + "\n" + formatHostTable(window.hostTable());
    if (!window.pbuTable().isEmpty())
        text += "\n" + formatPbuTable(window.pbuTable());
    text += window.statusPanelText(1) + "\n";
    std::fputs(gbk::toUtf8(text).c_str(), out);
    std::fflush(out);
}

} // namespace tarvo
