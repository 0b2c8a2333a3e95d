// The agent's log: lines that the agent code writes and the service decides where to put.
#pragma once

#include <functional>
#include <string>

namespace tarvo {

// A process-wide sink for log lines (GBK text without time stamp or line end). The
// service installs one that writes a time stamp and the text into the log file (and may
// forward the line to clients); without a sink lines are dropped.
class AgentLog
{
public:
    enum class Level { Info, Warning, Error, Debug };
    using Sink = std::function<void(Level level, const std::string &text)>;

    // Installs (or, with an empty function, removes) the sink. Not synchronised with
    // running writes: install before requests are executed.
    static void setSink(Sink sink);
    static void write(Level level, const std::string &text);
    static void info(const std::string &text) { write(Level::Info, text); }
    static void warning(const std::string &text) { write(Level::Warning, text); }
    static void error(const std::string &text) { write(Level::Error, text); }
    static void debug(const std::string &text) { write(Level::Debug, text); }

    // "INFO", "WARN", "ERROR", "DEBUG".
    static const char *levelName(Level level);
};

} // namespace tarvo
