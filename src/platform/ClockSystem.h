// What the clock's shared code (ClockCommon.cpp) asks of each system: Clock.cpp (Linux) and
// Clock_win.cpp (Windows) implement it.
#pragma once

#include <ctime>

namespace tarvo {

// The local time of `moment`, safely on any thread (localtime_r, localtime_s).
std::tm systemLocalTime(std::time_t moment);

} // namespace tarvo
