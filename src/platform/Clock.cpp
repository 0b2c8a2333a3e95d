// Local time of Linux's C library (localtime_r); the rest of the clock is in ClockCommon.cpp.
#include "platform/ClockSystem.h"

namespace tarvo {

std::tm systemLocalTime(std::time_t moment)
{
    std::tm tm{};
    ::localtime_r(&moment, &tm);
    return tm;
}

} // namespace tarvo
