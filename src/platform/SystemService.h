// The program as a service of the system's service manager. Windows: the service control
// manager, with which the program registers, starts, stops and removes itself, and under
// which it runs. Linux has systemd, which runs the program through its unit file: there
// these calls are not available and only say so.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tarvo {

// True where the program manages its own service registration (Windows).
bool systemServicesAvailable();

struct ServiceDefinition
{
    std::string name;        // the service's key name ("TarvoMonitorAgent")
    std::string displayName; // what the services list shows
    std::string description;
    std::string executable;  // the program's absolute path
    std::vector<std::string> arguments;
};

// Each of these returns an empty text on success, else what failed, in the system's words.
// Registers the service to start with the system, restarted by the manager when it fails.
std::string installService(const ServiceDefinition &service);
// Stops the service when it runs, then removes its registration.
std::string removeService(const std::string &name, std::chrono::milliseconds wait);
// Starts the service and waits until it runs (or has stopped again, which is a failure).
std::string startService(const std::string &name, std::chrono::milliseconds wait);
// Asks the service to stop and waits until it has.
std::string stopService(const std::string &name, std::chrono::milliseconds wait);

// Runs the service `name` in this process, which the service manager must have started:
// calls `body` with a function that reports the service running (call it once the service
// is ready); the manager's stop request calls `stop`. When `body` returns, the service is
// reported stopped with the body's exit code, which is returned. Returns -1 with `error` set
// when the process was not started by the service manager.
int runAsService(const std::string &name,
                 const std::function<int(const std::function<void()> &running)> &body,
                 const std::function<void()> &stop, std::string &error);

} // namespace tarvo
