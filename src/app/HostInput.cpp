// Normalising and checking the host dialogs' input.
#include "app/HostInput.h"

#include <charconv>

namespace tarvo {

namespace {

bool readPart(std::string_view part, int &value)
{
    if (part.empty())
        return false;
    auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    return error == std::errc() && end == part.data() + part.size() && value >= 0 &&
           value <= 255;
}

} // namespace

std::string normalizeIP(std::string_view text)
{
    int numbers[4] = {};
    std::string_view rest = text;
    for (int i = 0; i < 3; ++i) {
        const size_t dot = rest.find('.');
        if (dot == std::string_view::npos || !readPart(rest.substr(0, dot), numbers[i]))
            return BAD_IP_TEXT;
        rest.remove_prefix(dot + 1);
    }
    if (!readPart(rest, numbers[3]))
        return BAD_IP_TEXT;
    return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
           std::to_string(numbers[2]) + "." + std::to_string(numbers[3]);
}

std::string checkListFileText(std::string_view alias, std::string_view port)
{
    if (alias.find(',') != std::string_view::npos)
        return "报盘机别名不能包含逗号";
    if (port.find(',') != std::string_view::npos)
        return "端口号不能包含逗号";
    return {};
}

} // namespace tarvo
