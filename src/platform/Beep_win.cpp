// The alarm tone of Windows: Beep (750 Hz, 500 ms), which returns when the tone has ended.
#include "platform/Beep.h"

#include <windows.h>

#include <cstdio>

namespace tarvo {

void terminalBeep()
{
    std::fputc('\a', stderr);
    std::fflush(stderr);
    ::Sleep(500);
}

void systemBeep()
{
    if (!::Beep(750, 500))
        terminalBeep();
}

std::string beepDevice()
{
    return "Beep";
}

} // namespace tarvo
