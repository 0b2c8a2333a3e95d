// Read-only ini files with the semantics of the Windows profile functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// An ini file read once into memory. Section and key names match without regard to
// ASCII letter case; the first occurrence of a section or key wins; names and values
// are trimmed of blanks and tabs; lines end in CR LF or LF; ";" starts a comment line.
// Bytes are kept as they are (GBK). A missing or unreadable file reads as empty, so
// every lookup gives its default, as GetPrivateProfileString does.
class IniFile
{
public:
    IniFile() = default;

    // Reads `path`; a missing file gives an empty ini (see exists()).
    static IniFile load(const std::string &path);
    // Parses ini text held in memory.
    static IniFile parse(std::string_view text);

    bool exists() const { return m_exists; }

    // The value of `key` in `section`, or `defaultValue` when either is missing.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue = {}) const;
    // The value read as a decimal integer (leading digits, optional sign), or
    // `defaultValue` when the key is missing or holds no number (GetPrivateProfileInt).
    long readInt(std::string_view section, std::string_view key, long defaultValue) const;

    bool hasSection(std::string_view section) const;
    bool hasKey(std::string_view section, std::string_view key) const;
    // Section names in file order (first occurrences only).
    std::vector<std::string> sections() const;
    // Key names of a section in file order (first occurrences only); empty when missing.
    std::vector<std::string> keys(std::string_view section) const;

private:
    struct Entry
    {
        std::string key;
        std::string value;
    };
    struct Section
    {
        std::string name;
        std::vector<Entry> entries;
    };

    const Section *findSection(std::string_view name) const;

    std::vector<Section> m_sections;
    bool m_exists = false;
};

// Compares two names without regard to ASCII letter case.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

} // namespace tarvo
