// Local wall-clock time through the C library, on both systems; each system's thread-safe
// conversion to local time is in Clock.cpp (Linux) and Clock_win.cpp (Windows).
#include "platform/Clock.h"

#include "platform/ClockSystem.h"

namespace tarvo {

LocalTime currentLocalTime()
{
    const std::tm tm = systemLocalTime(std::time(nullptr));
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                     tm.tm_hour,        tm.tm_min,     tm.tm_sec};
}

std::optional<int64_t> localTimeToEpochMs(const LocalTime &time)
{
    std::tm tm{};
    tm.tm_year = time.year - 1900;
    tm.tm_mon = time.month - 1;
    tm.tm_mday = time.day;
    tm.tm_hour = time.hour;
    tm.tm_min = time.minute;
    tm.tm_sec = time.second;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return std::nullopt;
    return static_cast<int64_t>(t) * 1000;
}

} // namespace tarvo
