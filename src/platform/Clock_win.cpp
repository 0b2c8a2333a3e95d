// Local time of Windows' C library (localtime_s); the rest of the clock is in ClockCommon.cpp.
#include "platform/ClockSystem.h"

namespace tarvo {

std::tm systemLocalTime(std::time_t moment)
{
    std::tm tm{};
    ::localtime_s(&tm, &moment);
    return tm;
}

} // namespace tarvo
