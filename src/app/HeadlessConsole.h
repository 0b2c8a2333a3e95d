// The console without a window: the error list goes to stdout as it grows, and after every
// poll the host table and the PBU table are printed as aligned text (UTF-8).
#pragma once

#include <QObject>

#include <cstdio>
#include <string>

namespace tarvo {

class RecordSet;
class TF_Main;

// GBK text padded with blanks to `width` columns (a GBK character takes two bytes and two
// columns, so bytes and columns agree); longer text is cut at a character boundary.
std::string padColumn(const std::string &gbk, size_t width);

// The two tables as lines of GBK text, each line ended by LF.
std::string formatHostTable(const RecordSet &hosts);
std::string formatPbuTable(const RecordSet &pbus);

class HeadlessConsole : public QObject
{
    Q_OBJECT
public:
    // Starts echoing the window's error list (its lines so far first) to `out`.
    HeadlessConsole(TF_Main &window, std::FILE *out = stdout);
    ~HeadlessConsole() override;

    // Prints both tables and the counters.
    void printTables();

private:
    TF_Main &window;
    std::FILE *out;
};

} // namespace tarvo
