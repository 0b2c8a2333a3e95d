// Linux: the agent runs under systemd through its unit (tarvo-monitor-agent.service), so the
// program registers nothing itself.
#include "platform/SystemService.h"

namespace tarvo {
namespace {

const char *const NOT_HERE =
    "services of the Windows service control manager do not exist on this system; "
    "systemd runs the agent through its unit tarvo-monitor-agent.service";

} // namespace

bool systemServicesAvailable() { return false; }

std::string installService(const ServiceDefinition &) { return NOT_HERE; }
std::string removeService(const std::string &, std::chrono::milliseconds) { return NOT_HERE; }
std::string startService(const std::string &, std::chrono::milliseconds) { return NOT_HERE; }
std::string stopService(const std::string &, std::chrono::milliseconds) { return NOT_HERE; }

int runAsService(const std::string &, const std::function<int(const std::function<void()> &)> &,
                 const std::function<void()> &, std::string &error)
{
    error = NOT_HERE;
    return -1;
}

} // namespace tarvo
