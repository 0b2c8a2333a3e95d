// The agent's process-wide log sink.
#include "agent/AgentLog.h"

namespace tarvo {

namespace {
AgentLog::Sink &sink()
{
    static AgentLog::Sink s;
    return s;
}
} // namespace

void AgentLog::setSink(Sink s)
{
    sink() = std::move(s);
}

void AgentLog::write(Level level, const std::string &text)
{
    if (const auto &s = sink())
        s(level, text);
}

const char *AgentLog::levelName(Level level)
{
    switch (level) {
    case Level::Info: return "INFO";
    case Level::Warning: return "WARN";
    case Level::Error: return "ERROR";
    case Level::Debug: return "DEBUG";
    }
    return "INFO";
}

} // namespace tarvo
