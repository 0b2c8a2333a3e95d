// TarvoMonitorAgent: the monitoring agent of an order-submission host. Loads the agent
// configuration of its installation and serves the console on the agent port.
#include "agent/service/AccessControl.h"
#include "agent/service/AgentServer.h"
#include "agent/service/ProgramWatch.h"
#include "agent/service/ServiceOptions.h"

#include "agent/AgentConfig.h"
#include "agent/AgentExecutors.h"
#include "agent/LogText.h"
#include "agent/AgentVersion.h"
#include "platform/Files.h"
#include "platform/Gbk.h"
#include "platform/InstallLayout.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <pthread.h>
#include <thread>
#include <unistd.h>

#ifndef TARVO_VERSION_TEXT
#define TARVO_VERSION_TEXT "0"
#endif

namespace {

using namespace tarvo;

// The signals the agent acts on. They are blocked in every thread and taken by one thread
// with sigwait, so that their handling may do what a signal handler may not (reopen the
// log file): SIGTERM and SIGINT stop the agent, SIGHUP reopens its log (logrotate).
sigset_t handledSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    return signals;
}

void takeSignals(AgentServer &server, ServiceLog &log)
{
    const sigset_t signals = handledSignals();
    for (;;) {
        int signal = 0;
        if (::sigwait(&signals, &signal) != 0)
            continue;
        if (signal != SIGHUP) {
            server.requestStop();
            return;
        }
        if (log.reopen())
            log.write(AgentLog::Level::Info, "log file reopened (SIGHUP)");
        else
            log.write(AgentLog::Level::Error,
                      "the log file cannot be reopened after SIGHUP: logging to stderr");
    }
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
        // The package's version beside the agent version text the console checks.
        std::cout << "TarvoMonitorAgent " << TARVO_VERSION_TEXT << " (agent " << AGENT_VERSION
                  << "), protocol " << PROTOCOL_VERSION << "\n";
        return 0;
    }
    // A relative --ini names a file as seen from where the agent was started. Without one,
    // an installed agent reads the settings its unit names, not a file beside /usr/sbin.
    const bool iniNamed = !options.ini.empty() || installedConfigDirectory(executablePath());
    if (!options.ini.empty())
        options.ini = std::filesystem::absolute(options.ini).string();
    else if (const auto etc = installedConfigDirectory(executablePath()))
        options.ini = *etc + "/tarvo/TarvoMonitorAgent.ini";
    if (!options.dir.empty() && ::chdir(options.dir.c_str()) != 0) {
        std::cerr << "TarvoMonitorAgent: cannot change to " << options.dir << ": "
                  << std::strerror(errno) << "\n";
        return 2;
    }
    AgentConfig::setIniPath(options.ini);
    if (options.checkConfig)
        return printConfigReport(AgentConfig::iniPath(), iniNamed);

    ::signal(SIGPIPE, SIG_IGN);
    // Blocked before any thread starts, so that every thread inherits the mask.
    const sigset_t signals = handledSignals();
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
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
    std::string logFile = settings.getLogFile().empty() ? "logs/TarvoMonitorAgent.log"
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
    error = server.start();
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

    std::atomic<bool> signalsTaken = false;
    std::thread signalThread([&] {
        takeSignals(server, log);
        signalsTaken = true;
    });
    server.waitForStopRequest();
    // Stopped by something other than a signal: the signal thread is woken to end.
    if (!signalsTaken)
        ::pthread_kill(signalThread.native_handle(), SIGTERM);
    signalThread.join();
    log.write(AgentLog::Level::Info, "stopping");
    server.stop();
    AgentLog::setSink({});
    log.write(AgentLog::Level::Info, "stopped");
    return 0;
}
