// Printing the console's state to a terminal or a log.
#include "app/HeadlessConsole.h"

#include "app/Fmain.h"
#include "app/TerminalText.h"
#include "host/HostSubjectPool.h"
#include "platform/Gbk.h"

#include <QTimer>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <sys/ioctl.h>
#include <unistd.h>

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

// Appends the cell as padColumn() writes it. Texts of the protocol's words and names repeat
// on every row: a non-ASCII cell is converted once per table and then copied; an ASCII cell
// that fits is copied straight, without a conversion or a temporary.
void appendCell(std::string &text, const std::string &gbk, size_t width,
                std::unordered_map<std::string, std::string> &converted)
{
    if (width != 0 && gbk.size() + 1 <= width && isPlainAscii(gbk)) {
        text += gbk;
        text.append(width - gbk.size(), ' ');
        return;
    }
    std::string key = gbk;
    key += char(width);
    auto found = converted.find(key);
    if (found == converted.end())
        found = converted.emplace(std::move(key), padColumn(gbk, width)).first;
    text += found->second;
}

// What the host table shows in "连接状态" for a connected host that has stopped answering.
const std::string kNotAnswering = "无应答";

// Connected hosts that have left their last polls unanswered, by row. Such hosts are few, or
// none: they are found in the pool, and only their rows are looked at.
std::vector<bool> staleRows(const RecordSet &hosts, const HostSubjectPool &pool)
{
    static const std::string connected = "已连接";
    std::vector<bool> stale(size_t(hosts.count()));
    std::unordered_set<std::string_view> silent;
    for (const auto &[ip, host] : pool) {
        if (host && host->stale)
            silent.insert(ip);
    }
    if (silent.empty())
        return stale;
    const int connection = hosts.requireField("Connection");
    const int ip = hosts.requireField("ChannelIP");
    for (int row = 0; row < hosts.count(); ++row)
        stale[size_t(row)] = hosts.valueAt(row, connection) == connected &&
                             silent.count(hosts.valueAt(row, ip)) > 0;
    return stale;
}

// `pool` given (the host table): a connected host that does not answer shows kNotAnswering.
template <size_t N>
std::string formatTable(const RecordSet &table, const Column (&columns)[N],
                        const HostSubjectPool *pool = nullptr, const std::vector<int> *only = nullptr)
{
    std::string text;
    for (const Column &c : columns)
        text += padColumn(c.caption, c.width);
    text += '\n';
    int fields[N];
    size_t lineWidth = 1;
    for (size_t i = 0; i < N; ++i) {
        fields[i] = table.requireField(columns[i].field);
        lineWidth += columns[i].width;
    }
    const size_t rows = only ? only->size() : size_t(table.count());
    text.reserve(text.size() + rows * lineWidth);
    std::unordered_map<std::string, std::string> converted;
    const std::vector<bool> stale = pool ? staleRows(table, *pool) : std::vector<bool>();
    for (size_t k = 0; k < rows; ++k) {
        const int row = only ? (*only)[k] : int(k);
        const bool notAnswering = pool && stale[size_t(row)];
        for (size_t i = 0; i < N; ++i) {
            const bool replaced =
                notAnswering && std::string_view(columns[i].field) == "Connection";
            appendCell(text, replaced ? kNotAnswering : table.valueAt(row, fields[i]),
                       columns[i].width, converted);
        }
        text += '\n';
    }
    return text;
}

// GBK bytes of `gbk` that fit in `columns` columns, not splitting a character.
size_t fittingBytes(const std::string &gbk, size_t columns)
{
    size_t used = 0;
    while (used < gbk.size()) {
        const size_t length = static_cast<unsigned char>(gbk[used]) >= 0x81 ? 2 : 1;
        if (used + length > columns)
            break;
        used += length;
    }
    return used;
}

// The rows of a formatted table (its header left out), each behind `head` and without the
// blanks that pad its last columns.
void appendChangeLines(std::string &text, const std::string &head, const std::string &table)
{
    size_t start = table.find('\n');
    while (start != std::string::npos && start + 1 < table.size()) {
        const size_t end = table.find('\n', start + 1);
        std::string_view row(table.data() + start + 1, end - start - 1);
        while (!row.empty() && row.back() == ' ')
            row.remove_suffix(1);
        text += head;
        text += row;
        text += '\n';
        start = end;
    }
}

int terminalRows(std::FILE *out)
{
    winsize size{};
    if (::ioctl(::fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_row > 0)
        return size.ws_row;
    return 24;
}

} // namespace

std::string padColumn(const std::string &text, size_t width)
{
    if (width == 0)
        return {};
    // Control bytes are shown as escapes, which take their columns like any other text.
    const std::string gbk = visibleControls(text);
    // A GBK character is two bytes and two columns, so bytes count columns; one column stays
    // free before the next cell.
    if (gbk.size() + 1 <= width)
        return visibleC1(gbk::toUtf8(gbk)) + std::string(width - gbk.size(), ' ');
    const size_t kept = width >= 2 ? fittingBytes(gbk, width - 2) : 0;
    // The output is UTF-8: the ellipsis is written as its UTF-8 bytes, not as a literal
    // (literals hold GBK).
    return visibleC1(gbk::toUtf8(gbk.substr(0, kept))) + "\xE2\x80\xA6" +
           std::string(width - kept - 1, ' ');
}

std::string formatHostTable(const RecordSet &hosts, const HostSubjectPool *pool)
{
    return formatTable(hosts, kHostColumns, pool);
}

std::string formatPbuTable(const RecordSet &pbus) { return formatTable(pbus, kPbuColumns); }

std::string formatHostRows(const RecordSet &hosts, const std::vector<int> &rows,
                           const HostSubjectPool *pool)
{
    return formatTable(hosts, kHostColumns, pool, &rows);
}

std::string formatPbuRows(const RecordSet &pbus, const std::vector<int> &rows)
{
    return formatTable(pbus, kPbuColumns, nullptr, &rows);
}

// Tells the console when a row of one table came, went, or changed one of the fields an
// operator waits for (a lost connection, a stopped program or PBU); counters wait for the poll.
class HeadlessConsole::TableWatch : public RecordSetListener
{
public:
    TableWatch(HeadlessConsole &console, RecordSet &table, std::initializer_list<const char *> fields)
        : console(console), table(table)
    {
        for (const char *field : fields)
            watched.push_back(table.requireField(field));
        table.addListener(this);
    }
    ~TableWatch() override { table.removeListener(this); }

    void rowsInserted(int, int) override { console.rowStateChanged(); }
    void rowsRemoved(int, int) override { console.rowStateChanged(); }
    void reset() override { console.rowStateChanged(); }
    void rowsChanged(int, int, const std::vector<int> &fields) override
    {
        for (int field : watched) {
            if (std::binary_search(fields.begin(), fields.end(), field)) {
                console.rowStateChanged();
                return;
            }
        }
    }

private:
    HeadlessConsole &console;
    RecordSet &table;
    std::vector<int> watched;
};

HeadlessConsole::Mode HeadlessConsole::modeOf(std::FILE *out)
{
    return ::isatty(::fileno(out)) ? Mode::Terminal : Mode::Lines;
}

HeadlessConsole::HeadlessConsole(TF_Main &mainWindow, std::FILE *output, Mode displayMode)
    : window(mainWindow), out(output), mode(displayMode)
{
    if (mode == Mode::Lines) {
        for (const auto &line : window.errorList().lines())
            std::fprintf(out, "%s\n", terminalText(line).c_str());
        std::fflush(out);
    }
    window.errorList().setEcho([this](const std::string &line) {
        if (mode == Mode::Terminal) {
            redraw();
            return;
        }
        std::fprintf(out, "%s\n", terminalText(line).c_str());
        std::fflush(out);
    });
    // Queued: the tables are printed in their own pass of the event loop, not in the poll's.
    connect(&window, &TF_Main::pollTick, this, [this] { printTables(); }, Qt::QueuedConnection);
    sinceStart.start();
    // After the first tables, only the rows that were set since are compared.
    hostChanges.follow(window.hostTable());
    pbuChanges.follow(window.pbuTable());
    hostWatch = std::make_unique<TableWatch>(*this, window.hostTable(),
        std::initializer_list<const char *>{"Connection", "OESStatusA", "OESStatusB"});
    pbuWatch = std::make_unique<TableWatch>(*this, window.pbuTable(),
        std::initializer_list<const char *>{"OESStatus", "Status"});
}

HeadlessConsole::~HeadlessConsole() { window.errorList().setEcho({}); }

void HeadlessConsole::rowStateChanged()
{
    if (printPending)
        return;
    printPending = true;
    const qint64 wait = std::max<qint64>(0, lastPrintMs + minimumGapMs - sinceStart.elapsed());
    QTimer::singleShot(int(wait), this, [this] {
        printPending = false;
        printTables();
    });
}

std::string HeadlessConsole::tablesText() const
{
    std::string text = formatHostTable(window.hostTable(), &window.hostPool());
    if (!window.pbuTable().isEmpty()) {
        text += '\n';
        text += formatPbuTable(window.pbuTable());
    }
    text += terminalText(window.statusPanelText(1)) + "\n";
    return text;
}

void HeadlessConsole::printTables(bool always)
{
    lastPrintMs = sinceStart.elapsed();
    if (mode == Mode::Terminal) {
        redraw();
        return;
    }
    const RecordSet &hosts = window.hostTable();
    const RecordSet &pbus = window.pbuTable();
    std::vector<int> hostRows = hostChanges.changedRows(hosts);
    const std::vector<int> pbuRows = pbuChanges.changedRows(pbus);
    // A host that stops or resumes answering shows "无应答" in its row: a change too.
    const std::vector<bool> stale = staleRows(hosts, window.hostPool());
    const int ipField = hosts.requireField("ChannelIP");
    std::unordered_set<std::string> staleNow;
    const bool anyStale = std::find(stale.begin(), stale.end(), true) != stale.end();
    for (int row = 0; (anyStale || !staleShown.empty()) && row < hosts.count(); ++row) {
        const std::string &ip = hosts.valueAt(row, ipField);
        if (stale[size_t(row)])
            staleNow.insert(ip);
        if (stale[size_t(row)] != (staleShown.count(ip) > 0))
            hostRows.push_back(row);
    }
    staleShown.swap(staleNow);
    std::sort(hostRows.begin(), hostRows.end());
    hostRows.erase(std::unique(hostRows.begin(), hostRows.end()), hostRows.end());
    std::string text(1, '\n');
    text += gbk::toUtf8(window.timeStamp());
    text += '\n';
    if (always || !printedWhole) {
        printedWhole = true;
        lastSummaryMs = lastPrintMs;
        text += tablesText();
    } else if (!hostRows.empty() || !pbuRows.empty()) {
        // One line an event, as a journal is read and searched: the stamp, what it is, the row.
        text.clear();
        const std::string stamp = gbk::toUtf8(window.timeStamp());
        appendChangeLines(text, stamp + gbk::toUtf8("报盘机 "),
                          formatHostRows(hosts, hostRows, &window.hostPool()));
        appendChangeLines(text, stamp + "PBU ", formatPbuRows(pbus, pbuRows));
    } else if (lastPrintMs - lastSummaryMs >= kSummaryEveryMs) {
        lastSummaryMs = lastPrintMs;
        text += gbk::toUtf8(summaryLine(hosts, pbus)) + "\n";
    } else {
        return;
    }
    std::fputs(text.c_str(), out);
    std::fflush(out);
}

void HeadlessConsole::redraw()
{
    // Several changes in one pass of the event loop make one redraw.
    if (redrawPending)
        return;
    redrawPending = true;
    QTimer::singleShot(0, this, [this] {
        redrawPending = false;
        const std::string tables = tablesText();
        int lines = 1;
        for (char c : tables)
            lines += c == '\n';
        std::string screen = "\x1b[H\x1b[2J";
        screen += gbk::toUtf8(window.timeStamp());
        screen += '\n';
        screen += tables;
        screen += '\n';
        // The newest error-list lines fill what the tables leave of the screen.
        const auto &errors = window.errorList().lines();
        const int room = std::max(0, terminalRows(out) - lines - 2);
        const size_t first = errors.size() > size_t(room) ? errors.size() - size_t(room) : 0;
        for (size_t i = first; i < errors.size(); ++i)
            screen += terminalText(errors[i]) + "\n";
        std::fputs(screen.c_str(), out);
        std::fflush(out);
    });
}

} // namespace tarvo
