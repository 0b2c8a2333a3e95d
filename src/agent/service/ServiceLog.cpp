// The agent's log file, its log records and the program watch.
#include "agent/service/ServiceLog.h"

#include "agent/LogText.h"
#include "platform/Gbk.h"

#include <cstdio>
#include <iostream>

namespace tarvo {

std::string formatLogLine(const LocalTime &time, AgentLog::Level level, const std::string &text)
{
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%4d-%02d-%02d %02d:%02d:%02d ", time.year, time.month,
                  time.day, time.hour, time.minute, time.second);
    return stamp + std::string(AgentLog::levelName(level)) + " " + text + "\r\n";
}

std::string formatLogRecord(AgentLog::Level level, long number, const std::string &text)
{
    // The separator and the record end may not appear inside a record.
    std::string clean = text;
    for (char &c : clean)
        if (c == '\x01' || c == '\x02')
            c = ' ';
    return std::string(AgentLog::levelName(level)) + " " + std::to_string(number) + " " + clean +
           '\x02';
}

bool ServiceLog::open(const std::string &path)
{
    std::lock_guard lock(m_mutex);
    m_path = path;
    m_file.close();
    m_file.clear();
    m_file.open(path, std::ios::binary | std::ios::app);
    return m_file.is_open();
}

bool ServiceLog::reopen()
{
    std::string path;
    {
        std::lock_guard lock(m_mutex);
        path = m_path;
    }
    if (path.empty())
        return false;
    if (open(path))
        return true;
    m_echo = true;
    return false;
}

void ServiceLog::write(AgentLog::Level level, const std::string &text)
{
    if (level == AgentLog::Level::Debug && !m_debug)
        return;
    // Texts from clients come clipped; this keeps any other text from breaking the line.
    std::string line = formatLogLine(m_clock(), level, showControlBytes(text));
    std::lock_guard lock(m_mutex);
    if (m_file.is_open()) {
        m_file << line;
        m_file.flush();
    }
    if (m_echo) {
        line.resize(line.size() - 2);
        std::cerr << gbk::toUtf8(line) << std::endl;
    }
}

std::vector<LogEvent> ProgramWatcher::update(const std::vector<ProgramState> &states)
{
    std::vector<LogEvent> events;
    if (!m_first) {
        for (const ProgramState &now : states) {
            if (!now.watched)
                continue;
            bool wasRunning = false;
            bool known = false;
            for (const ProgramState &before : m_last)
                if (before.name == now.name && before.watched) {
                    wasRunning = before.running;
                    known = true;
                }
            if (known && wasRunning == now.running)
                continue;
            if (now.running)
                events.push_back({AgentLog::Level::Info, now.name + " started"});
            else if (known)
                events.push_back({AgentLog::Level::Warning, now.name + " stopped"});
        }
    }
    m_first = false;
    m_last = states;
    return events;
}

} // namespace tarvo
