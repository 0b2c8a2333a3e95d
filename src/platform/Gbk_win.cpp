// GBK <-> UTF-8 on Windows through code page 936 (MultiByteToWideChar, WideCharToMultiByte),
// with the replacement rules of the Linux conversion: a byte that starts no GBK character
// becomes U+FFFD, a character GBK lacks or invalid UTF-8 becomes '?'.
#include "platform/Gbk.h"

#include "platform/WinText.h"

#include <windows.h>

namespace tarvo::gbk {
namespace {

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// One GBK character of two bytes as UTF-16, or 0 when the pair forms none.
wchar_t gbkPair(char lead, char trail)
{
    const char pair[2] = {lead, trail};
    wchar_t wide = 0;
    if (::MultiByteToWideChar(win::GBK_CODE_PAGE, MB_ERR_INVALID_CHARS, pair, 2, &wide, 1) != 1)
        return 0;
    return wide;
}

// The next code point of UTF-8 text at `i` (advanced past it), or nothing for a byte that
// starts no valid sequence (advanced by one).
bool nextCodePoint(std::string_view text, size_t &i, char32_t &c)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char first = byte(i);
    int length = first < 0x80 ? 1 : (first >> 5) == 6 ? 2 : (first >> 4) == 14 ? 3
                                   : (first >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + size_t(length) > text.size()) {
        ++i;
        return false;
    }
    c = length == 1 ? first : first & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    static const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return false;
    }
    i += size_t(length);
    return true;
}

} // namespace

std::string toUtf8(std::string_view gbk)
{
    if (isAscii(gbk))
        return std::string(gbk);
    std::string out;
    out.reserve(gbk.size() * 3 / 2 + 4);
    for (size_t i = 0; i < gbk.size();) {
        const auto c = static_cast<unsigned char>(gbk[i]);
        if (c < 0x80) {
            out += char(c);
            ++i;
            continue;
        }
        const wchar_t wide = i + 1 < gbk.size() ? gbkPair(gbk[i], gbk[i + 1]) : 0;
        if (wide == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        appendUtf8(out, wide);
        i += 2;
    }
    return out;
}

std::string fromUtf8(std::string_view utf8)
{
    if (isAscii(utf8))
        return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t c = 0;
        if (!nextCodePoint(utf8, i, c)) {
            out += '?';
            continue;
        }
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        wchar_t wide[2];
        int units = 1;
        if (c >= 0x10000) {
            wide[0] = wchar_t(0xD800 + ((c - 0x10000) >> 10));
            wide[1] = wchar_t(0xDC00 + ((c - 0x10000) & 0x3FF));
            units = 2;
        } else {
            wide[0] = wchar_t(c);
        }
        char bytes[8];
        BOOL defaulted = FALSE;
        const int n = ::WideCharToMultiByte(win::GBK_CODE_PAGE, 0, wide, units, bytes, sizeof bytes,
                                            "?", &defaulted);
        if (n <= 0 || defaulted)
            out += '?';
        else
            out.append(bytes, size_t(n));
    }
    return out;
}

} // namespace tarvo::gbk
