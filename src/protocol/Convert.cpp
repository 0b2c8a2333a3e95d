// Strict decimal conversion shared by the protocol, the host model and the console.
#include "protocol/Convert.h"

#include <stdexcept>
#include <string>

namespace tarvo {

std::optional<int32_t> tryToInt(std::string_view text)
{
    // The common case first: one to nine plain digits, which cannot overflow.
    if (!text.empty() && text.size() <= 9) {
        int32_t n = 0;
        size_t k = 0;
        for (; k < text.size() && unsigned(text[k] - '0') <= 9; ++k)
            n = n * 10 + (text[k] - '0');
        if (k == text.size())
            return n;
    }
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    if (i == text.size())
        return std::nullopt;
    int64_t n = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
        if (n > int64_t(INT32_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        n = -n;
    if (n > INT32_MAX || n < INT32_MIN)
        return std::nullopt;
    return int32_t(n);
}

int32_t toIntOtherForm(std::string_view text)
{
    if (auto n = tryToInt(text))
        return *n;
    throw std::invalid_argument("'" + std::string(text) + "' is not a valid integer value");
}

std::string_view trimBlanks(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace tarvo
