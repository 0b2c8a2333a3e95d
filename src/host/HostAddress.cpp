// The dotted IPv4 text of a host, normalised.
#include "host/HostAddress.h"

#include "protocol/Convert.h"

namespace tarvo {
namespace {

// The part's value when it is a byte written in digits only (leading zeros allowed).
std::optional<int> byteOf(std::string_view part)
{
    if (part.empty())
        return std::nullopt;
    int value = 0;
    for (const char c : part) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 255)
            return std::nullopt;
    }
    return value;
}

} // namespace

DottedIP readDottedIP(std::string_view text)
{
    std::string_view parts[4];
    for (int i = 0; i < 3; ++i) {
        const size_t dot = text.find('.');
        if (dot == std::string_view::npos)
            return {BAD_IP_TEXT, std::nullopt};
        parts[i] = text.substr(0, dot);
        text.remove_prefix(dot + 1);
    }
    parts[3] = text;
    for (const std::string_view part : parts)
        if (!tryToInt(part))
            return {BAD_IP_TEXT, std::string(part)};
    std::string address;
    for (int i = 0; i < 4; ++i) {
        const std::optional<int> byte = byteOf(parts[i]);
        if (!byte)
            return {BAD_IP_TEXT, std::nullopt};
        if (i > 0)
            address += '.';
        address += std::to_string(*byte);
    }
    return {address, std::nullopt};
}

} // namespace tarvo
