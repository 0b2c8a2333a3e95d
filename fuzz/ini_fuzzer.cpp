// Fuzzes the ini reader: every section and key it lists must be found again, under any
// letter case, and read back as text and as a number.
#include "platform/IniFile.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string flippedCase(std::string text)
{
    for (char &c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x80 && std::isalpha(u))
            c = char(std::islower(u) ? std::toupper(u) : std::tolower(u));
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const tarvo::IniFile ini = tarvo::IniFile::parse(text);
    if (!ini.exists())
        std::abort();
    size_t lookups = 0;
    for (const std::string &section : ini.sections()) {
        if (!ini.hasSection(section) || !ini.hasSection(flippedCase(section)))
            std::abort();
        for (const std::string &key : ini.keys(section)) {
            if (!ini.hasKey(section, key) || !ini.hasKey(flippedCase(section), flippedCase(key)))
                std::abort();
            // The first occurrence wins under either spelling.
            if (ini.readString(section, key) != ini.readString(flippedCase(section), flippedCase(key)))
                std::abort();
            (void)ini.readInt(section, key, -1);
            if (++lookups > 4096)
                return 0;
        }
    }
    (void)ini.readString("Section", "Key", "default");
    (void)ini.readInt("Section", "Key", 7);
    return 0;
}
