// TarvoMonitorAgent: the monitoring agent of an order-submission host. Loads the agent
// configuration of its installation and serves the console on the agent port.
#include "agent/service/AccessControl.h"
#include "agent/service/AgentServer.h"
#include "agent/service/ProgramWatch.h"
#include "agent/service/ServiceOptions.h"

#include "agent/AgentConfig.h"
#include "agent/AgentExecutors.h"
#include "agent/AgentVersion.h"
#include "platform/Files.h"
#include "platform/Gbk.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace {

using namespace tarvo;

std::atomic<AgentServer *> runningServer = nullptr;

void onStopSignal(int)
{
    if (AgentServer *server = runningServer.load())
        server->requestStop();
}

} // namespace

int main(int argc, char **argv)
{
    ServiceOptions options;
    std::string error = parseServiceOptions(std::vector<std::string>(argv + 1, argv + argc), options);
    if (!error.empty()) {
        std::cerr << "TarvoMonitorAgent: " << error << "\n";
        return 2;
    }
    if (options.help) {
        std::cout << serviceUsage();
        return 0;
    }
    if (options.version) {
        std::cout << "TarvoMonitorAgent " << AGENT_VERSION << " (protocol " << PROTOCOL_VERSION
                  << ")\n";
        return 0;
    }
    // A relative --ini names a file as seen from where the agent was started.
    if (!options.ini.empty())
        options.ini = std::filesystem::absolute(options.ini).string();
    if (!options.dir.empty() && ::chdir(options.dir.c_str()) != 0) {
        std::cerr << "TarvoMonitorAgent: cannot change to " << options.dir << ": "
                  << std::strerror(errno) << "\n";
        return 2;
    }
    AgentConfig::setIniPath(options.ini);
    if (options.checkConfig)
        return printConfigReport(AgentConfig::iniPath());

    ::signal(SIGPIPE, SIG_IGN);
    ServiceLog log;
    log.setEcho(options.verbose);

    // The service's own settings; a configuration that fails to load still gives what it
    // read before the failure (port, log file, ACCESS_CONTROL).
    AgentConfig settings(AgentConfig::iniPath());
    std::string loadProblem;
    bool accessControlValid = true;
    try {
        settings.load();
    } catch (const std::invalid_argument &e) {
        loadProblem = e.what();
        accessControlValid = false;
    } catch (const std::exception &e) {
        loadProblem = e.what();
    }
    std::string logFile = settings.getLogFile().empty() ? "logs/TarvoMonitorAgent.log"
                                                        : settings.getLogFile();
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
                  "ACCESS_CONTROL address \"" + address + "\" ignored: IP地址有误");
    if (accessControlValid && serviceSettings.accessControl.empty())
        log.write(AgentLog::Level::Warning, "ACCESS_CONTROL is empty: every client is accepted");
    if (!accessControlValid)
        log.write(AgentLog::Level::Error,
                  "ACCESS_CONTROL cannot be read: every client will be refused");

    ProgramWatch watch(server, log, loadProblem);
    server.setWatch([&watch] { return watch(); });
    runningServer = &server;
    struct sigaction action{};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    error = server.start();
    if (!error.empty()) {
        runningServer = nullptr;
        log.write(AgentLog::Level::Error, error);
        std::cerr << "TarvoMonitorAgent: " << error << "\n";
        return 1;
    }
    log.write(AgentLog::Level::Info,
              "listening on " + (options.bind.empty() ? std::string("*") : options.bind) + ":" +
                  std::to_string(server.port()) + ", ACCESS_CONTROL: " +
                  describeAllowed(serviceSettings.accessControl));

    server.waitForStopRequest();
    log.write(AgentLog::Level::Info, "stopping");
    server.stop();
    runningServer = nullptr;
    AgentLog::setSink({});
    log.write(AgentLog::Level::Info, "stopped");
    return 0;
}
