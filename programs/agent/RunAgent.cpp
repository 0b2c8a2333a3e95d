// The agent's run: loads the configuration, opens the log, serves the console on the agent
// port until the system asks it to stop, and stops cleanly.
#include "RunAgent.h"

#include "agent/service/AccessControl.h"
#include "agent/service/AgentServer.h"
#include "agent/service/ProgramWatch.h"

#include "agent/AgentConfig.h"
#include "agent/AgentExecutors.h"
#include "agent/AgentVersion.h"
#include "agent/LogText.h"
#include "platform/Files.h"
#include "platform/Gbk.h"

#include <iostream>

namespace tarvo {

int runAgent(const ServiceOptions &options, StopRequests &requests,
             const std::function<void()> &listening)
{
    ServiceLog log;
    log.setEcho(options.verbose);

    // The service's own settings; a configuration that fails to load still gives what it
    // read before the failure (port, log file, ACCESS_CONTROL).
    AgentConfig settings(AgentConfig::iniPath());
    std::string loadProblem;
    try {
        settings.load();
    } catch (const std::exception &e) {
        loadProblem = e.what();
    }
    const bool accessControlValid = settings.getAccessControlProblem().empty();
    std::string logFile = settings.getLogFile().empty() ? nativePath("logs/TarvoMonitorAgent.log")
                                                        : settings.getLogFile();
    // A load that failed early (ACCESS_CONTROL) has not made the log directory yet.
    if (!settings.getLogsDir().empty() && !directoryExists(settings.getLogsDir()))
        createDirectories(settings.getLogsDir());
    if (!log.open(logFile)) {
        std::cerr << "TarvoMonitorAgent: cannot open the log file " << gbk::toUtf8(logFile)
                  << "; logging to stderr\n";
        log.setEcho(true);
    }
    log.setDebug(settings.getDebug());
    AgentLog::setSink([&log](AgentLog::Level level, const std::string &text) {
        log.write(level, text);
    });
    installAgentExecutors();

    ServiceSettings serviceSettings;
    serviceSettings.bindAddress = options.bind;
    serviceSettings.port = options.port.value_or(settings.getPort());
    serviceSettings.accessControl = settings.getAccessControl();
    serviceSettings.accessControlValid = accessControlValid;
    serviceSettings.timings = options.timings;
    if (serviceSettings.port < 0 || serviceSettings.port > 65535) {
        log.write(AgentLog::Level::Error,
                  "invalid port " + std::to_string(serviceSettings.port) + " in " +
                      AgentConfig::iniPath());
        std::cerr << "TarvoMonitorAgent: invalid port " << serviceSettings.port << "\n";
        return 1;
    }

    AgentServer server(serviceSettings, log);
    log.write(AgentLog::Level::Info, "TarvoMonitorAgent " + AGENT_VERSION + " starting in " +
                                         currentDirectory() + " with " + AgentConfig::iniPath());
    if (!loadProblem.empty()) {
        log.write(AgentLog::Level::Error, "configuration cannot be loaded: " + loadProblem);
        server.setStandingProblem("configuration cannot be loaded: " + loadProblem);
    }
    for (const std::string &address : settings.getRejectedAddresses())
        log.write(AgentLog::Level::Warning,
                  "ACCESS_CONTROL address \"" + clipForLog(address) + "\" ignored: IP地址有误");
    if (!settings.getIniProblem().empty())
        log.write(AgentLog::Level::Error, "the ini file " + AgentConfig::iniPath() + " " +
                                              settings.getIniProblem() +
                                              ": not read, defaults used");
    if (accessControlValid && serviceSettings.accessControl.empty())
        log.write(AgentLog::Level::Warning,
                  "ACCESS_CONTROL is empty: every client is refused; name the consoles' "
                  "addresses in [ACCESS_CONTROL] of " + AgentConfig::iniPath());
    if (options.port)
        log.write(AgentLog::Level::Info,
                  "port " + std::to_string(serviceSettings.port) + ": from --port");
    else
        log.write(settings.portProblem().empty() ? AgentLog::Level::Info
                                                 : AgentLog::Level::Warning,
                  "port " + std::to_string(serviceSettings.port) + ": " +
                      settings.describePort());
    if (!accessControlValid)
        log.write(AgentLog::Level::Error, settings.accessControlRefusal());

    ProgramWatch watch(server, log, loadProblem, !accessControlValid);
    server.setWatch([&watch] { return watch(); });
    std::string error = server.start();
    if (!error.empty()) {
        log.write(AgentLog::Level::Error, error);
        std::cerr << "TarvoMonitorAgent: " << error << "\n";
        return 1;
    }
    log.write(AgentLog::Level::Info,
              "listening on " + (options.bind.empty() ? std::string("*") : options.bind) + ":" +
                  std::to_string(server.port()) + ", ACCESS_CONTROL: " +
                  (accessControlValid ? describeAllowed(serviceSettings.accessControl)
                                      : std::string("unreadable, every client is refused")));
    listening();

    requests.start({[&server] { server.requestStop(); },
                    [&log] {
                        if (log.reopen())
                            log.write(AgentLog::Level::Info, "log file reopened (SIGHUP)");
                        else
                            log.write(AgentLog::Level::Error, "the log file cannot be reopened "
                                                              "after SIGHUP: logging to stderr");
                    }});
    server.waitForStopRequest();
    log.write(AgentLog::Level::Info, "stopping");
    server.stop();
    AgentLog::setSink({});
    log.write(AgentLog::Level::Info, "stopped");
    // Last: a Windows console that is being closed ends the process once this is done.
    requests.finish();
    return 0;
}

} // namespace tarvo
