// The host's clock as a status response carries it.
#pragma once

#include "platform/Clock.h"

#include <functional>
#include <string>

namespace tarvo {

class HostControl
{
public:
    using Clock = std::function<LocalTime()>;
    explicit HostControl(Clock clock = currentLocalTime);

    // The local time as "yyyy-mm-dd hh:mm:ss " (with the trailing blank).
    std::string hostTime() const;
    static std::string formatHostTime(const LocalTime &time);

private:
    Clock clock;
};

} // namespace tarvo
