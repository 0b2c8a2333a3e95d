// The agent's own log file, the log records it sends to clients, and the watch of the
// order-submission programs that produces some of them.
#pragma once

#include "agent/AgentLog.h"
#include "platform/Clock.h"

#include <atomic>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tarvo {

// One line of the log file: "yyyy-mm-dd hh:mm:ss " + level + " " + text + CR LF.
std::string formatLogLine(const LocalTime &time, AgentLog::Level level, const std::string &text);

// One record of a "13" message: level, number and text separated by blanks, ended by the
// byte 0x02, e.g. "INFO 1 A股报盘程序 started\x02".
std::string formatLogRecord(AgentLog::Level level, long number, const std::string &text);

// Writes time-stamped lines to the log file (and to stderr, converted to UTF-8, when
// echoing), each text with its control bytes shown (showControlBytes), so that no text
// writes a second line. Thread-safe. Debug lines are written only while debug is on.
class ServiceLog
{
public:
    using Clock = std::function<LocalTime()>;
    explicit ServiceLog(Clock clock = currentLocalTime) : m_clock(std::move(clock)) {}

    // Opens (appends to) the log file; returns false when it cannot be opened, in which
    // case lines still go to stderr when echoing.
    bool open(const std::string &path);
    // Closes the log file and opens the same path again (appending), so that a log that
    // was moved away (logrotate) is written anew; false when it cannot be opened, in which
    // case lines go to stderr from then on.
    bool reopen();
    void setEcho(bool echo) { m_echo = echo; }
    void setDebug(bool debug) { m_debug = debug; }
    bool debug() const { return m_debug; }

    void write(AgentLog::Level level, const std::string &text);

private:
    Clock m_clock;
    std::mutex m_mutex;
    std::ofstream m_file;
    std::string m_path;
    std::atomic<bool> m_echo = false;
    std::atomic<bool> m_debug = false;
};

// A watched program as one look at the host shows it.
struct ProgramState
{
    std::string name; // "A股报盘程序" / "B股报盘程序"
    bool watched = false;
    bool running = false;
};

struct LogEvent
{
    AgentLog::Level level = AgentLog::Level::Info;
    std::string text;
};

// Turns successive looks at the programs into start and stop events of the watched ones.
// The first look sets the baseline and reports nothing.
class ProgramWatcher
{
public:
    std::vector<LogEvent> update(const std::vector<ProgramState> &states);

private:
    std::vector<ProgramState> m_last;
    bool m_first = true;
};

} // namespace tarvo
