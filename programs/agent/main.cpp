// TarvoMonitorAgent: the monitoring agent of an order-submission host. Loads the agent
// configuration of its installation and serves the console on the agent port; on Windows it
// also registers, starts, stops and removes itself as a service, and runs as one.
#include "RunAgent.h"

#include "agent/service/ProgramWatch.h"
#include "agent/service/ServiceOptions.h"

#include "agent/AgentConfig.h"
#include "agent/AgentVersion.h"
#include "platform/Arguments.h"
#include "platform/Files.h"
#include "platform/Gbk.h"
#include "platform/InstallLayout.h"
#include "platform/Stdio.h"
#include "platform/SystemService.h"

#include <chrono>
#include <iostream>

#ifndef TARVO_VERSION_TEXT
#define TARVO_VERSION_TEXT "0"
#endif

namespace {

using namespace tarvo;

const std::string SERVICE_NAME = "TarvoMonitorAgent";
// How long --start-service, --stop-service and --remove-service wait for the service.
constexpr std::chrono::seconds SERVICE_WAIT{30};

ServiceDefinition agentService(const ServiceOptions &options)
{
    ServiceDefinition service;
    service.name = SERVICE_NAME;
    service.displayName = "TarvoMonitor agent";
    service.description = "Monitoring agent of an order-submission host: answers the TarvoMonitor "
                          "console with the state of the order-submission programs, their PBUs "
                          "and the host, and runs its troubleshooting checks.";
    service.executable = executablePath();
    // The service manager starts services in the system's folder: the installation
    // directory is always named.
    const std::string dir = absolutePath(options.dir.empty() ? parentDirectory(service.executable)
                                                             : options.dir);
    service.arguments = {"--service", "--dir", dir};
    if (!options.ini.empty())
        service.arguments.insert(service.arguments.end(), {"--ini", options.ini});
    if (!options.bind.empty())
        service.arguments.insert(service.arguments.end(), {"--bind", options.bind});
    if (options.port)
        service.arguments.insert(service.arguments.end(), {"--port", std::to_string(*options.port)});
    return service;
}

// --install-service, --remove-service, --start-service, --stop-service.
int manageService(const ServiceOptions &options)
{
    std::string error;
    std::string done;
    switch (options.serviceCommand) {
    case ServiceCommand::Install: {
        const ServiceDefinition service = agentService(options);
        error = installService(service);
        done = "service " + SERVICE_NAME + " installed (starts with the system) for " +
               service.arguments[2] + "; start it now with --start-service";
        break;
    }
    case ServiceCommand::Remove:
        error = removeService(SERVICE_NAME, SERVICE_WAIT);
        done = "service " + SERVICE_NAME + " removed";
        break;
    case ServiceCommand::Start:
        error = startService(SERVICE_NAME, SERVICE_WAIT);
        done = "service " + SERVICE_NAME + " running";
        break;
    case ServiceCommand::Stop:
        error = stopService(SERVICE_NAME, SERVICE_WAIT);
        done = "service " + SERVICE_NAME + " stopped";
        break;
    case ServiceCommand::None:
    case ServiceCommand::Run:
        break;
    }
    if (!error.empty()) {
        std::cerr << "TarvoMonitorAgent: " << gbk::toUtf8(error) << "\n";
        return 1;
    }
    std::cout << gbk::toUtf8(done) << "\n";
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    useUtf8Terminal();
    ServiceOptions options;
    std::string error = parseServiceOptions(programArguments(argc, argv), options);
    if (!error.empty()) {
        std::cerr << "TarvoMonitorAgent: " << error << "\n";
        return 2;
    }
    if (options.help) {
        std::cout << serviceUsage();
        return 0;
    }
    if (options.version) {
        // The package's version beside the agent version text the console checks.
        std::cout << "TarvoMonitorAgent " << TARVO_VERSION_TEXT << " (agent " << AGENT_VERSION
                  << "), protocol " << PROTOCOL_VERSION << "\n";
        return 0;
    }
    // A relative --ini names a file as seen from where the agent was started. Without one,
    // an installed agent reads the settings its unit names, not a file beside /usr/sbin.
    const bool iniNamed = !options.ini.empty() || installedConfigDirectory(executablePath());
    if (!options.ini.empty())
        options.ini = absolutePath(options.ini);
    else if (const auto etc = installedConfigDirectory(executablePath()))
        options.ini = *etc + "/tarvo/TarvoMonitorAgent.ini";
    if (options.serviceCommand != ServiceCommand::None &&
        options.serviceCommand != ServiceCommand::Run)
        return manageService(options);
    if (!options.dir.empty() && !changeDirectory(options.dir, error)) {
        std::cerr << "TarvoMonitorAgent: cannot change to " << options.dir << ": " << error << "\n";
        return 2;
    }
    AgentConfig::setIniPath(options.ini);
    if (options.checkConfig)
        return printConfigReport(AgentConfig::iniPath(), iniNamed);

    StopRequests::prepareProcess();
    StopRequests requests;
    if (options.serviceCommand != ServiceCommand::Run)
        return runAgent(options, requests, [] {});
    const int code = runAsService(
        SERVICE_NAME,
        [&](const std::function<void()> &running) { return runAgent(options, requests, running); },
        [&] { requests.requestStop(); }, error);
    if (code < 0) {
        std::cerr << "TarvoMonitorAgent: " << error << "\n";
        return 2;
    }
    return code;
}
