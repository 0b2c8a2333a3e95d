// The resource alert rules of the detail window: a usage over its limit for a minute of
// polls raises the alert. The alarm command follows the same rules without a window.
#pragma once

#include "host/Host.h"

#include <array>
#include <cstdint>
#include <string>

namespace tarvo {

struct UsageRule
{
    const std::string &(Host::*usage)() const;
    int32_t Host::*counter;  // the detail window's count of polls over the limit
    int limit;
    bool inclusive;          // at the limit counts too
    const char *name;
    const char *alert;
};

// CPU, memory, disk, in the order of the detail window's resources.
inline const std::array<UsageRule, 3> &usageRules()
{
    static const std::array<UsageRule, 3> rules = {{
        {&Host::getCpuUsage, &Host::cpuOverCount, 50, false, "CPU利用率",
         "CPU利用率连续1分钟超过50%"},
        {&Host::getMemoryUsage, &Host::memoryOverCount, 50, false, "内存占用率",
         "内存占用率连续1分钟超过50%"},
        {&Host::getDiskUsage, &Host::diskOverCount, 90, true, "硬盘使用空间",
         "硬盘使用空间连续1分钟大于90%"},
    }};
    return rules;
}

} // namespace tarvo
