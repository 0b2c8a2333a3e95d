// CPU, memory and disk usage of the host in whole percent.
#include "agent/SystemStatus.h"

namespace tarvo {

SystemStatus::SystemStatus(std::shared_ptr<HostResources> r) : resources(std::move(r))
{
    if (!resources)
        resources = std::make_shared<SystemHostResources>();
}

int SystemStatus::sample()
{
    auto current = resources->readCpuTimes();
    if (!current)
        return 0;
    // A counter that went backwards restarts the interval from this sample.
    int usage = cpuUsagePercent(previous, *current);
    previous = *current;
    return usage;
}

int SystemStatus::memoryUsage()
{
    auto memory = resources->readMemInfo();
    return memory ? memoryUsagePercent(*memory) : 0;
}

int SystemStatus::diskUsageOf(const std::string &directory)
{
    auto disk = resources->readDiskSpace(directory);
    return disk ? diskUsagePercent(*disk) : 0;
}

} // namespace tarvo
