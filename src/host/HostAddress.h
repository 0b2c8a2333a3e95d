// Reading a host's dotted IPv4 address as the operator or an ini file writes it: the one
// normalisation of the console's host list and the agent's ACCESS_CONTROL.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvo {

inline const std::string BAD_IP_TEXT = "IP地址有误";

struct DottedIP
{
    // The four numbers in decimal without leading zeros, joined by dots, or "IP地址有误".
    std::string address;
    // When the address is "IP地址有误" because a part is not even an integer: the first such
    // part (empty for "1..2.3"). Nothing when the parts are integers, however large, or when
    // there are fewer than four parts.
    std::optional<std::string> unreadablePart;
};

// Splits `text` at its first three dots into four parts, each of which must be a decimal
// number from 0 to 255 written in digits only ("010.001.002.003" gives "10.1.2.3").
DottedIP readDottedIP(std::string_view text);

// readDottedIP's address: the normalised text or "IP地址有误".
inline std::string normalizeIP(std::string_view text) { return readDottedIP(text).address; }

} // namespace tarvo
