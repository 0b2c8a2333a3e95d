// Client texts for the log: control bytes shown, long texts cut.
#include "agent/LogText.h"

namespace tarvo {
namespace {

bool inRange(unsigned char byte, unsigned char low, unsigned char high)
{
    return byte >= low && byte <= high;
}

// The length of the whole GBK (GB18030) character at `text[i]`: 1 for printable ASCII, 2 or
// 4 for a lead byte with valid trail bytes, 0 for a byte to be shown as an escape.
size_t characterLength(std::string_view text, size_t i)
{
    const auto at = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = at(0);
    if (lead < 0x80)
        return lead >= 0x20 && lead != 0x7F ? 1 : 0;
    if (!inRange(lead, 0x81, 0xFE) || i + 1 >= text.size())
        return 0;
    const unsigned char second = at(1);
    if (inRange(second, 0x40, 0xFE) && second != 0x7F)
        return 2;
    if (inRange(second, 0x30, 0x39) && i + 3 < text.size() && inRange(at(2), 0x81, 0xFE) &&
        inRange(at(3), 0x30, 0x39))
        return 4;
    return 0;
}

std::string escape(unsigned char byte)
{
    static const char digits[] = "0123456789abcdef";
    return std::string("\\x") + digits[byte >> 4] + digits[byte & 0x0F];
}

// Appends `text` as shown, stopping before a piece that would take `out` past `limit`
// bytes; returns how many bytes of `text` it took.
size_t appendShown(std::string &out, std::string_view text, size_t limit)
{
    size_t i = 0;
    while (i < text.size()) {
        const size_t length = characterLength(text, i);
        const size_t shown = length == 0 ? 4 : length;
        if (out.size() + shown > limit)
            break;
        if (length == 0)
            out += escape(static_cast<unsigned char>(text[i]));
        else
            out.append(text.substr(i, length));
        i += length == 0 ? 1 : length;
    }
    return i;
}

} // namespace

std::string showControlBytes(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    appendShown(shown, text, std::string::npos);
    return shown;
}

std::string clipForLog(std::string_view text, size_t limit)
{
    std::string clipped;
    if (appendShown(clipped, text, limit) < text.size())
        clipped += "... (" + std::to_string(text.size()) + " bytes)";
    return clipped;
}

} // namespace tarvo
