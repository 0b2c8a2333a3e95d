// The host's resource sampling for status responses: CPU, memory and disk usage.
#pragma once

#include "platform/HostResources.h"

#include <memory>
#include <optional>
#include <string>

namespace tarvo {

// Kept for the life of the process so that each CPU figure covers the time since the
// previous sample. Not synchronised: one request is executed at a time.
class SystemStatus
{
public:
    // Samples the Linux counters unless `resources` is given.
    explicit SystemStatus(std::shared_ptr<HostResources> resources = {});

    // CPU usage in percent (0-100) since the previous sample (since boot for the first);
    // 0 when it cannot be measured.
    int sample();
    // Memory in use in percent; 0 when it cannot be read.
    int memoryUsage();
    // Share of the volume holding `directory` in use, in percent; 0 when the query fails.
    int diskUsageOf(const std::string &directory);

private:
    std::shared_ptr<HostResources> resources;
    CpuTimes previous;
};

} // namespace tarvo
