// GBK <-> UTF-8 through iconv; GB18030 is used on the GBK side since it reads all GBK text.
#include "platform/Gbk.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace tarvo::gbk {
namespace {

// Runs iconv over the whole input; an unconvertible input sequence is skipped by
// `skipBytes` bytes and `replacement` is written in its place.
// One conversion descriptor per direction and thread, opened at first use: opening costs
// far more than converting a cell's text, and the grids convert thousands a second.
class Converter
{
public:
    Converter(const char *to, const char *from) : cd(iconv_open(to, from))
    {
        if (cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv_open failed: ") + from + " -> " + to);
    }
    ~Converter() { iconv_close(cd); }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    iconv_t get() const
    {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return cd;
    }

private:
    iconv_t cd;
};

iconv_t descriptor(const char *to, const char *from)
{
    thread_local Converter toUtf8("UTF-8", "GB18030");
    thread_local Converter toGbk("GB18030", "UTF-8");
    if (std::string_view(to) == "UTF-8" && std::string_view(from) == "GB18030")
        return toUtf8.get();
    if (std::string_view(to) == "GB18030" && std::string_view(from) == "UTF-8")
        return toGbk.get();
    throw std::logic_error(std::string("no converter ") + from + " -> " + to);
}

std::string convert(const char *to, const char *from, std::string_view in,
                    std::string_view replacement)
{
    iconv_t cd = descriptor(to, from);

    std::string out;
    out.reserve(in.size() * 3 / 2 + 4);
    char *src = const_cast<char *>(in.data());
    size_t srcLeft = in.size();
    char buffer[1024];
    while (srcLeft > 0) {
        char *dst = buffer;
        size_t dstLeft = sizeof buffer;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, dst - buffer);
        if (r != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL (truncated sequence at the end): skip one byte.
        out.append(replacement);
        ++src;
        --srcLeft;
    }
    char *dst = buffer;
    size_t dstLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, dst - buffer);
    return out;
}

} // namespace

bool isAscii(std::string_view text)
{
    for (unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

std::string toUtf8(std::string_view gbk)
{
    if (isAscii(gbk))
        return std::string(gbk);
    return convert("UTF-8", "GB18030", gbk, "\xEF\xBF\xBD");
}

std::string fromUtf8(std::string_view utf8)
{
    if (isAscii(utf8))
        return std::string(utf8);
    return convert("GB18030", "UTF-8", utf8, "?");
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
