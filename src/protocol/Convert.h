// Text-to-number conversion with the strictness the protocol expects of its numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvo {

// Reads a whole text as a 32-bit signed decimal integer: optional leading blanks, an
// optional sign, then only digits. Throws std::invalid_argument with the text
// "'<text>' is not a valid integer value" otherwise (also on overflow).
int32_t toInt(std::string_view text);
// toInt of any text that is not one to nine plain digits, out of line.
int32_t toIntOtherForm(std::string_view text);

// One to nine plain digits, the common case, cannot overflow and are read in line.
inline int32_t toInt(std::string_view text)
{
    if (!text.empty() && text.size() <= 9) {
        int32_t n = 0;
        size_t k = 0;
        for (; k < text.size() && unsigned(text[k] - '0') <= 9; ++k)
            n = n * 10 + (text[k] - '0');
        if (k == text.size())
            return n;
    }
    return toIntOtherForm(text);
}

// As toInt, but returns nothing instead of throwing.
std::optional<int32_t> tryToInt(std::string_view text);

// The text without the blanks and tabs around it.
std::string_view trimBlanks(std::string_view text);

} // namespace tarvo
