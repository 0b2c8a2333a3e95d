// The console without a window: the error list goes to stdout as it grows, and after every
// poll the host table and the PBU table are shown as aligned text (UTF-8): redrawn in place
// on a terminal, appended as plain lines (only when they changed) anywhere else.
#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <cstdio>
#include <memory>
#include <string>

namespace tarvo {

class HostSubjectPool;
class RecordSet;
class TF_Main;

// A GBK cell as UTF-8 text exactly `width` terminal columns wide (a Chinese character takes
// two): padded with blanks, or cut at a character boundary and ended by "…" when it would
// not leave one blank before the next column. Control bytes are shown as escapes ("\x1b").
std::string padColumn(const std::string &gbk, size_t width);

// The two tables as UTF-8 lines, each ended by LF. With the pool, a connected host that has
// stopped answering shows "无应答" as its connection.
std::string formatHostTable(const RecordSet &hosts, const HostSubjectPool *pool = nullptr);
std::string formatPbuTable(const RecordSet &pbus);

class HeadlessConsole : public QObject
{
    Q_OBJECT
public:
    enum class Mode { Lines, Terminal };

    // Starts showing the window's error list (its lines so far first) on `out`. Terminal mode
    // redraws the screen; Lines mode appends.
    HeadlessConsole(TF_Main &window, std::FILE *out = stdout, Mode mode = modeOf(stdout));
    ~HeadlessConsole() override;

    // Terminal when `out` is a terminal, else Lines.
    static Mode modeOf(std::FILE *out);

    // Shows the tables now (Lines mode: only when they differ from the last ones shown,
    // unless `always`).
    void printTables(bool always = false);

    // Tables are also shown when a row comes or goes or a connection, program or PBU state
    // changes, at most once per this many milliseconds (300 unless set).
    void setMinimumGapMs(int ms) { minimumGapMs = ms; }

private:
    class TableWatch;
    void rowStateChanged();
    void redraw();
    std::string tablesText() const;

    TF_Main &window;
    std::FILE *out;
    Mode mode;
    std::string lastTables;
    bool redrawPending = false;
    std::unique_ptr<TableWatch> hostWatch;
    std::unique_ptr<TableWatch> pbuWatch;
    QElapsedTimer sinceStart;
    qint64 lastPrintMs = -1'000'000;
    bool printPending = false;
    int minimumGapMs = 300;
};

} // namespace tarvo
