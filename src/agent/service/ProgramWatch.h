// The programs' state as the process list shows it, turned into the agent's start/stop log
// records. The service calls it under its execution lock, since AgentConfig::instance() may
// reload the configuration.
#pragma once

#include "agent/service/AgentServer.h"
#include "agent/service/ServiceLog.h"
#include "platform/ProcessList.h"

#include <string>
#include <vector>

namespace tarvo {

class ProgramWatch
{
public:
    // startProblem: why the configuration could not be loaded at start-up, if it could not;
    // refusingAll: the service refuses every client, since ACCESS_CONTROL could not be read
    // then (it reads ACCESS_CONTROL only at start).
    ProgramWatch(AgentServer &server, ServiceLog &log, std::string startProblem,
                 bool refusingAll = false);

    std::vector<LogEvent> operator()();

private:
    AgentServer &m_server;
    ServiceLog &m_log;
    std::string m_problem;
    bool m_refusingAll;
    bool m_first = true;
    ProgramWatcher m_watcher;
    SystemProcessList m_processes;
};

// --check-config: prints the report on stdout and returns the program's exit code: 1 when
// the configuration cannot be used, else 0, also for one that admits no client (its last
// line then says so instead of "configuration OK"). A missing ini file is unusable when
// `iniRequired` (named by --ini, or the installed agent's settings).
int printConfigReport(const std::string &iniPath, bool iniRequired = false);

} // namespace tarvo
