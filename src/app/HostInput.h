// Checks and normalisation of what the operator types into the host dialogs.
#pragma once

#include <string>
#include <string_view>

namespace tarvo {

inline const std::string BAD_IP_TEXT = "IP地址有误";

// The four dot-separated numbers of `text` in decimal without leading zeros
// ("010.001.002.003" gives "10.1.2.3"), or "IP地址有误" when the text has fewer than four
// parts or a part is not a decimal number from 0 to 255.
std::string normalizeIP(std::string_view text);

// The host list file has no escape for commas: empty when neither the alias nor the port
// holds one, else the message part to show ("报盘机别名不能包含逗号", "端口号不能包含逗号").
std::string checkListFileText(std::string_view alias, std::string_view port);

} // namespace tarvo
