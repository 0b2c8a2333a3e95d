// Checks and normalisation of what the operator types into the host dialogs.
#pragma once

#include "host/HostAddress.h"

#include <string>
#include <string_view>

namespace tarvo {

// The host list file has no escape for commas: empty when neither the alias nor the port
// holds one, else the message part to show ("报盘机别名不能包含逗号", "端口号不能包含逗号").
std::string checkListFileText(std::string_view alias, std::string_view port);

} // namespace tarvo
