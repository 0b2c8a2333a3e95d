// The host's clock text.
#include "agent/HostControl.h"

#include <cstdio>

namespace tarvo {

HostControl::HostControl(Clock c) : clock(std::move(c)) {}

std::string HostControl::hostTime() const
{
    return formatHostTime(clock());
}

std::string HostControl::formatHostTime(const LocalTime &t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%2.2d-%2.2d-%2.2d %2.2d:%2.2d:%2.2d ", t.year, t.month,
                  t.day, t.hour, t.minute, t.second);
    return text;
}

} // namespace tarvo
