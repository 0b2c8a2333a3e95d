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

} // namespace tarvo::gbk
