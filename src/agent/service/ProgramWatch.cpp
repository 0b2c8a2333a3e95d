#include "agent/service/ProgramWatch.h"

#include "agent/AgentConfig.h"
#include "platform/Gbk.h"

#include <iostream>

namespace tarvo {

ProgramWatch::ProgramWatch(AgentServer &server, ServiceLog &log, std::string startProblem,
                           bool refusingAll)
    : m_server(server), m_log(log), m_problem(std::move(startProblem)), m_refusingAll(refusingAll)
{
}

std::vector<LogEvent> ProgramWatch::operator()()
{
    std::vector<LogEvent> events;
    AgentConfig *config = nullptr;
    try {
        config = &AgentConfig::instance();
    } catch (const std::exception &e) {
        if (m_problem != e.what()) {
            m_problem = e.what();
            m_server.setStandingProblem("configuration cannot be loaded: " + m_problem);
            events.push_back({AgentLog::Level::Error, "configuration cannot be loaded: " + m_problem});
        }
        return events;
    }
    if (!m_problem.empty()) {
        m_problem.clear();
        m_server.setStandingProblem({});
        events.push_back({AgentLog::Level::Info, "configuration loaded"});
        if (m_refusingAll)
            events.push_back({AgentLog::Level::Error,
                              "ACCESS_CONTROL is read only at start: every client is still "
                              "refused until the agent is restarted"});
    }
    const std::vector<ProcessInfo> processes = m_processes.snapshot();
    std::vector<ProgramState> states;
    for (const auto &communicator : config->getCommunicators())
        states.push_back({communicator->getOesName(), communicator->getOesExist() == "Y",
                          communicator->readProcessState(processes) == "运行"});
    if (m_first) {
        m_first = false;
        for (const ProgramState &state : states)
            m_log.write(AgentLog::Level::Info,
                        state.name + (!state.watched ? " not watched"
                                      : state.running ? " running"
                                                      : " not running"));
    }
    std::vector<LogEvent> changes = m_watcher.update(states);
    events.insert(events.end(), changes.begin(), changes.end());
    return events;
}

int printConfigReport(const std::string &iniPath)
{
    ConfigReport report = checkAgentConfiguration(iniPath);
    for (const std::string &line : report.lines)
        std::cout << gbk::toUtf8(line) << "\n";
    if (!report.ok)
        std::cout << "configuration cannot be used\n";
    else if (report.admitsNobody)
        std::cout << "configuration usable, but it admits no client: ACCESS_CONTROL names no "
                     "address, so every connection is refused\n";
    else
        std::cout << "configuration OK\n";
    return report.ok ? 0 : 1;
}

} // namespace tarvo
