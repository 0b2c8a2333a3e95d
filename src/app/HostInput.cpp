// Checking what the host dialogs would write into the host list file.
#include "app/HostInput.h"

namespace tarvo {

std::string checkListFileText(std::string_view alias, std::string_view port)
{
    if (alias.find(',') != std::string_view::npos)
        return "报盘机别名不能包含逗号";
    if (port.find(',') != std::string_view::npos)
        return "端口号不能包含逗号";
    return {};
}

} // namespace tarvo
