// The resource alerts of the detail window's rules for every host, with or without a detail
// window, for the alarm command: CPU or memory over 50 %, or disk at 90 % or more, for a
// minute of polls.
#pragma once

#include "app/HostWatch.h"
#include "display/AlarmEvent.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace tarvo {

class HostSubjectPool;

class ResourceAlarms
{
public:
    // `pollPeriodMs` gives the poll period the minute is counted in; `raise` is told of every
    // alert. Follows the hosts of the pool and those added later.
    ResourceAlarms(HostSubjectPool &pool, std::function<int()> pollPeriodMs,
                   std::function<void(const AlarmEvent &)> raise);
    ~ResourceAlarms();
    ResourceAlarms(const ResourceAlarms &) = delete;
    ResourceAlarms &operator=(const ResourceAlarms &) = delete;

private:
    class Watch;
    // Polls over the limit, per host and rule (the detail window keeps its own counts).
    std::map<std::string, std::array<int32_t, 3>> counts;
    std::function<int()> pollPeriodMs;
    std::function<void(const AlarmEvent &)> raise;
    std::unique_ptr<Watch> watch;
    std::unique_ptr<HostWatch> everyHost;
};

} // namespace tarvo
