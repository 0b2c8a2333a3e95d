// Escaping control characters before text reaches a terminal.
#include "app/TerminalText.h"

#include "platform/Gbk.h"

#include <algorithm>

namespace tarvo {

namespace {

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

const char kHex[] = "0123456789abcdef";

} // namespace

std::string visibleControls(std::string_view gbk)
{
    if (std::none_of(gbk.begin(), gbk.end(), [](char c) { return isControl(c); }))
        return std::string(gbk);
    std::string shown;
    shown.reserve(gbk.size() + 16);
    for (const char c : gbk) {
        const auto byte = static_cast<unsigned char>(c);
        if (!isControl(byte)) {
            shown += c;
            continue;
        }
        shown += "\\x";
        shown += kHex[byte >> 4];
        shown += kHex[byte & 0xf];
    }
    return shown;
}

bool isPlainAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c >= 0x20 && c <= 0x7e; });
}

std::string visibleC1(std::string utf8)
{
    // U+0080 to U+009F are C2 80 to C2 9F in UTF-8; C2 never continues another character.
    size_t at = utf8.find('\xc2');
    while (at != std::string::npos) {
        const auto next = at + 1 < utf8.size() ? static_cast<unsigned char>(utf8[at + 1]) : 0;
        if (next >= 0x80 && next <= 0x9f) {
            const char escape[] = {'\\', 'u', '0', '0', kHex[next >> 4], kHex[next & 0xf]};
            utf8.replace(at, 2, escape, sizeof escape);
            at += sizeof escape;
        } else {
            ++at;
        }
        at = utf8.find('\xc2', at);
    }
    return utf8;
}

std::string terminalText(std::string_view gbk)
{
    std::string shown = visibleControls(gbk);
    if (gbk::isAscii(shown))
        return shown;
    return visibleC1(gbk::toUtf8(shown));
}

} // namespace tarvo
