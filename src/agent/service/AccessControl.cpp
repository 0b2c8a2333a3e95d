// The ACCESS_CONTROL list.
#include "agent/service/AccessControl.h"

#include <algorithm>

namespace tarvo {

bool isAllowed(const std::vector<std::string> &allowed, const std::string &address)
{
    return std::find(allowed.begin(), allowed.end(), address) != allowed.end();
}

std::string describeAllowed(const std::vector<std::string> &allowed)
{
    if (allowed.empty())
        return "(none)";
    std::string text;
    for (const std::string &address : allowed) {
        if (!text.empty())
            text += ", ";
        text += address;
    }
    return text;
}

} // namespace tarvo
