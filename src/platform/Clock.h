// Local wall-clock time.
#pragma once

#include <cstdint>
#include <optional>

namespace tarvo {

struct LocalTime
{
    int year = 0;   // four digits
    int month = 0;  // 1-12
    int day = 0;    // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The current local time.
LocalTime currentLocalTime();

// Milliseconds since the epoch of a local time (daylight saving decided by the system);
// nothing when the time cannot be represented.
std::optional<int64_t> localTimeToEpochMs(const LocalTime &time);

} // namespace tarvo
