// GBK <-> UTF-8 conversion for the edges that need Unicode (terminal, widgets, JSON).
#pragma once

#include <string>
#include <string_view>

namespace tarvo::gbk {

// Converts GBK (read as GB18030, which contains GBK) to UTF-8. Bytes that do not
// form a character are replaced by U+FFFD; the conversion never fails.
std::string toUtf8(std::string_view gbk);

// Converts UTF-8 to GBK bytes (GB18030, which equals GBK for every GBK character).
// Invalid UTF-8 sequences become '?'; the conversion never fails.
std::string fromUtf8(std::string_view utf8);

// True when every byte is below 0x80.
bool isAscii(std::string_view text);

// True when the text cannot be GBK as the system writes it: it starts with a UTF-8
// byte-order mark, or its non-ASCII bytes are UTF-8 or no GBK at all (an editor that saved
// a GBK file as UTF-8).
bool looksNotGbk(std::string_view text);

} // namespace tarvo::gbk
