// Lookup of state words and program slots.
#include "host/StatusNames.h"

namespace tarvo {

const std::string *statusNameOf(std::string_view pbuStatus)
{
    // The code is read as an integer: "03" and "+3" are 3, as an integer conversion reads them.
    bool negative = false;
    if (!pbuStatus.empty() && (pbuStatus[0] == '+' || pbuStatus[0] == '-')) {
        negative = pbuStatus[0] == '-';
        pbuStatus.remove_prefix(1);
    }
    if (pbuStatus.empty())
        return nullptr;
    unsigned value = 0;
    for (const char c : pbuStatus) {
        if (c < '0' || c > '9')
            return nullptr;
        value = value * 10 + unsigned(c - '0');
        if (value >= statusNames.size())
            return nullptr;
    }
    if (negative && value != 0)
        return nullptr;
    return &statusNames[value];
}

int oesIndexOf(std::string_view oesName)
{
    if (oesName == OES_NAME_A)
        return 0;
    if (oesName == OES_NAME_B)
        return 1;
    return -1;
}

} // namespace tarvo
