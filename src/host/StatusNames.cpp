// Lookup of state words and program slots.
#include "host/StatusNames.h"

namespace tarvo {

const std::string *statusNameOf(std::string_view pbuStatus)
{
    if (pbuStatus.size() != 1 || pbuStatus[0] < '0' || pbuStatus[0] > '5')
        return nullptr;
    return &statusNames[size_t(pbuStatus[0] - '0')];
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
