// Text-to-number conversion with the strictness the protocol expects of its numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvo {

// Reads a whole text as a 32-bit signed decimal integer: optional leading blanks, an
// optional sign, then only digits. Throws std::invalid_argument with the text
// "'<text>' is not a valid integer value" otherwise (also on overflow).
int32_t toInt(std::string_view text);

// As toInt, but returns nothing instead of throwing.
std::optional<int32_t> tryToInt(std::string_view text);

// The text without the blanks and tabs around it.
std::string_view trimBlanks(std::string_view text);

} // namespace tarvo
