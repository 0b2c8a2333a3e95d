// What GBK text looks like, byte by byte: the same on every system.
#include "platform/Gbk.h"

namespace tarvo::gbk {

bool isAscii(std::string_view text)
{
    for (unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

namespace {

// Every non-ASCII byte is a lead byte 81-FE with a trail byte 40-FE other than 7F.
bool isGbk(std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80)
            continue;
        if (c == 0x80 || c == 0xFF || i + 1 == text.size())
            return false;
        const auto trail = static_cast<unsigned char>(text[++i]);
        if (trail < 0x40 || trail == 0x7F || trail == 0xFF)
            return false;
    }
    return true;
}

// Every non-ASCII byte belongs to a well-formed UTF-8 sequence.
bool isUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80 ? 1 : c >= 0xC2 && c < 0xE0 ? 2 : c >= 0xE0 && c < 0xF0 ? 3
                                               : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

} // namespace

bool looksNotGbk(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        return true;
    return !gbk::isAscii(text) && (isUtf8(text) || !isGbk(text));
}

} // namespace tarvo::gbk
